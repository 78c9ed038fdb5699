#pragma once

// The filter text that a query and a report's data view both take: conditions
// "[campo] = 'valor'" joined by " and ". Blanks around the parts are free, the word
// "and" is read in any letter case, a single quote inside a value is doubled.
// The operators are = and <> (the whole value, letter case significant) and <, <=,
// > and >= (the texts in order). What a field is and how its value becomes text is
// the reader's business: this library only reads the text.

#include <QList>
#include <QString>
#include <optional>

namespace Filtro
{

enum class Operador { Igual, Diferente, Menor, MenorOuIgual, Maior, MaiorOuIgual };

struct Condicao {
    QString campo; // as written between the brackets, blanks trimmed
    Operador operador = Operador::Igual;
    QString valor; // with its doubled quotes made single
};

// The conditions of a filter text (none for a blank text); nothing when the text
// does not follow the form above.
std::optional<QList<Condicao>> le(const QString &texto);

// The operator as the text writes it ("=", "<>", "<", "<=", ">", ">="), and back.
QString textoDoOperador(Operador operador);
std::optional<Operador> operadorDe(const QString &texto);

// Whether a field whose text compares with the value as `comparacao` (negative, 0,
// positive, as QString::compare gives it) meets the operator.
bool atende(Operador operador, int comparacao);

// The message both readers give for a text that le() refuses.
QString mensagemDeFiltroInvalido(const QString &texto);

} // namespace Filtro
