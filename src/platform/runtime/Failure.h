#pragma once
// The run-time's failure: a number and a description, as the original run-time reported them.
#include <QString>
#include <exception>

namespace rt {

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
constexpr long LlamadaNoValida = 5;
constexpr long Desbordamiento = 6;
constexpr long MemoriaInsuficiente = 7;
constexpr long DivisionPorCero = 11;
constexpr long ErrorInterno = 51;
constexpr long TiposNoCoinciden = 13;
constexpr long ObjetoNoEstablecido = 91;
constexpr long UsoNoValidoDeNull = 94;
constexpr long PropiedadNoValida = 380;
} // namespace err

[[noreturn]] void raise(long number);
[[noreturn]] void raise(long number, const QString& description);
QString descripcionDe(long number);

} // namespace rt
