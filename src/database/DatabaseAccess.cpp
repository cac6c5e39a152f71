#include "database/DatabaseAccess.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Steps.h"
#include "platform/ui/MsgBox.h"

#include <cmath>

namespace database {

const QString kZukTitle = QStringLiteral("..:: Z U K ::..");

QString CadenaConexion(const QString& folder, const QString& file, const QString& password) {
    QString result;
    runtime::runSteps(
        1,
        [&](int) {
            result = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + folder + QLatin1Char('\\') +
                     file + QStringLiteral(";Jet OLEDB:Database Password=") + password + QLatin1Char(';');
            return runtime::kEnd;
        },
        [&](int, const runtime::Failure& f) {
            ui::MsgBox(QStringLiteral("Error nº") + QString::number(f.Number()) +
                           QStringLiteral(". AVISE AL PROGRAMADOR"),
                       ui::vbOKOnly, kZukTitle);
            result.clear();
            return runtime::kEnd;
        });
    return result;
}

void AbrirRecordset(const QString& query, std::unique_ptr<ado::Recordset>& rs, ado::Connection& cn, int32_t lockType) {
    bool retrying = false;
    auto object = [&]() -> ado::Recordset& {
        if (!rs) runtime::raise(runtime::err::ObjectNotSet);
        return *rs;
    };
    runtime::runSteps(
        1,
        [&](int step) -> int {
            switch (step) {
            case 1: rs = std::make_unique<ado::Recordset>(); break;
            case 2: object().CursorLocation = ado::adUseServer; break;
            case 3: object().Open(query, cn, ado::adOpenKeyset, lockType, -1); break;
            case 4: return (object().Eof() && object().Bof()) ? runtime::kEnd : 5; // rows: to the first
            case 5: object().MoveFirst(); return runtime::kEnd;
            default: return runtime::kEnd;
            }
            return step + 1;
        },
        [&](int step, const runtime::Failure& f) -> int {
            if (retrying) throw f; // still handling the first failure: the caller's handling takes it
            if (f.Number() == ado::err::Generic) {
                ui::MsgBox(QStringLiteral("LA BASE DE DATOS ESTÁ ABIERTA, CUANDO SE HAYA CERRADO PULSE 'OK'"),
                           ui::vbOKOnly, kZukTitle);
                retrying = true;
                return 1;
            }
            ui::MsgBox(QStringLiteral("Error ") + f.Description() + QLatin1Char(' ') + QString::number(f.Number()) +
                           QStringLiteral("\r\nAVISE AL PROGRAMADOR"),
                       ui::vbOKOnly, kZukTitle);
            return step + 1;
        });
}

namespace {

// The steps of ValorSinNulo that a jump names: one block per type code.
enum Step : int {
    kText = 10,
    kNumber = 20,
    kNumberAsText = 21, // zero or more
    kNegativeNumber = 22,
    kDate = 30,
    kNullDate = 31,
    kDateAsItIs = 33,
    kOtherType = 40,
};

template <typename Read, typename Replace>
runtime::FieldValue valueWithoutNull(Read read, Replace replace, int32_t type) {
    runtime::FieldValue result;
    runtime::runStepsSkippingFailures(1, [&](int step) -> int {
        switch (step) {
        case 1:
            switch (type) {
            case kTypeText: return kText;
            case kTypeNumber: return kNumber;
            case kTypeDate: return kDate;
            default: return kOtherType;
            }
        case kText: result = runtime::textOf(read()); return runtime::kEnd;
        // A number of zero or more passes through its text form, so it keeps at most 15 digits.
        case kNumber: {
            const runtime::FieldValue v = read();
            return (v.isNull() || runtime::greaterOrEqual(v, 0)) ? kNumberAsText : kNegativeNumber;
        }
        case kNumberAsText: {
            // "0" and the value's text, read as a number. For a number that is the number kept to
            // 15 digits, which the run-time gives without building the texts (the run does this
            // eight times an article).
            const runtime::FieldValue v = read();
            const bool number = v.kind() == runtime::FieldValue::Kind::Number && std::isfinite(v.number());
            result =
                number ? runtime::roundTo15Digits(v.number()) : runtime::CDbl(QStringLiteral("0") + runtime::textOf(v));
            return runtime::kEnd;
        }
        case kNegativeNumber: result = runtime::CDbl(read()); return runtime::kEnd;
        case kDate: return read().isNull() ? kNullDate : kDateAsItIs;
        case kNullDate:
            replace(runtime::FieldValue(runtime::CDate(QStringLiteral("31-12-1899"))));
            return kNullDate + 1;
        case kNullDate + 1: result = read(); return runtime::kEnd;
        case kDateAsItIs: result = read(); return runtime::kEnd;
        case kOtherType: result = runtime::FieldValue(); return runtime::kEnd;
        default: return runtime::kEnd;
        }
    });
    return result;
}

} // namespace

runtime::FieldValue ValorSinNulo(runtime::FieldValue& value, int32_t type) {
    return valueWithoutNull([&] { return value; }, [&](const runtime::FieldValue& newValue) { value = newValue; },
                            type);
}

runtime::FieldValue ValorSinNulo(const ado::Field& field, int32_t type) {
    // Only the handed-over value is replaced, never the field's contents.
    std::optional<runtime::FieldValue> copy;
    return valueWithoutNull([&] { return copy ? *copy : field.Value(); },
                            [&](const runtime::FieldValue& newValue) { copy = newValue; }, type);
}

} // namespace database
