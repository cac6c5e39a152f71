#pragma once
// The run-time's failure: a number and a description, as the original run-time reported them.
#include <QString>
#include <exception>
#include <string>
#include <utility>

namespace runtime {

class Failure : public std::exception {
public:
    Failure(long number, QString description) : number_(number), description_(std::move(description)) {
        what_ = description_.toStdString();
    }
    long Number() const { return number_; }
    const QString& Description() const { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    long number_;
    QString description_;
    std::string what_;
};

// Run-time error numbers used by the stand-ins, with their Spanish texts.
namespace err {
constexpr long InvalidCall = 5;
constexpr long Overflow = 6;
constexpr long OutOfMemory = 7;
constexpr long DivisionByZero = 11;
constexpr long TypeMismatch = 13;
constexpr long InternalError = 51;
constexpr long FileNotFound = 53;
constexpr long PathFileAccessError = 75;
constexpr long ObjectNotSet = 91;
constexpr long InvalidUseOfNull = 94;
constexpr long InvalidPropertyValue = 380;
constexpr long CannotCreateObject = 429;
constexpr long PrinterError = 482;
} // namespace err

[[noreturn]] void raise(long number);
[[noreturn]] void raise(long number, const QString& description);
QString descriptionOf(long number);

} // namespace runtime
