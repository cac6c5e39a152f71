#pragma once
// A dynamically typed value as a database field or a loosely typed variable holds it.
#include <QString>
#include <variant>

namespace runtime {

// A date as the platform keeps it: days since 30 December 1899, the fraction being the time of day.
struct Date {
    double serial = 0;
    bool operator==(const Date&) const = default;
    static Date fromYmd(int year, int month, int day);
};

class FieldValue {
public:
    enum class Kind { Empty, Null, Number, Text, Date };

    FieldValue() = default; // Empty
    FieldValue(double number) : v_(number) {}
    FieldValue(int number) : v_(static_cast<double>(number)) {}
    FieldValue(const QString& text) : v_(text) {}
    FieldValue(const char* text) : v_(QString::fromUtf8(text)) {}
    FieldValue(runtime::Date date) : v_(date) {}
    static FieldValue Null() {
        FieldValue v;
        v.v_ = NullTag{};
        return v;
    }

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }
    bool isText() const { return kind() == Kind::Text; }
    bool isDate() const { return kind() == Kind::Date; }

    double number() const { return std::get<double>(v_); }
    const QString& text() const { return std::get<QString>(v_); }
    runtime::Date date() const { return std::get<runtime::Date>(v_); }

    bool operator==(const FieldValue&) const = default;

private:
    struct EmptyTag {
        bool operator==(const EmptyTag&) const = default;
    };
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    std::variant<EmptyTag, NullTag, double, QString, runtime::Date> v_;
};

} // namespace runtime
