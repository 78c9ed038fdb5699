#include "filtro/filtro.h"

namespace Filtro
{

namespace
{

struct Leitor {
    const QString &t;
    qsizetype i = 0;

    bool fim() const { return i >= t.size(); }
    void pulaBrancos()
    {
        while (i < t.size() && t[i].isSpace())
            ++i;
    }
    bool consome(QStringView palavra)
    {
        if (QStringView(t).mid(i, palavra.size()) != palavra) return false;
        i += palavra.size();
        return true;
    }
};

// The longer operators first, so that "<=" is not read as "<" followed by "=".
constexpr std::pair<const char16_t *, Operador> kOperadores[] = {
    {u"<>", Operador::Diferente}, {u"<=", Operador::MenorOuIgual}, {u">=", Operador::MaiorOuIgual},
    {u"=", Operador::Igual},      {u"<", Operador::Menor},         {u">", Operador::Maior}};

std::optional<Condicao> leCondicao(Leitor &l)
{
    Condicao c;
    l.pulaBrancos();
    if (l.fim() || l.t[l.i] != u'[') return std::nullopt;
    const qsizetype fecha = l.t.indexOf(u']', l.i + 1);
    if (fecha < 0) return std::nullopt;
    c.campo = l.t.mid(l.i + 1, fecha - l.i - 1).trimmed();
    if (c.campo.isEmpty()) return std::nullopt;
    l.i = fecha + 1;
    l.pulaBrancos();
    bool achou = false;
    for (const auto &[texto, operador] : kOperadores) {
        if (l.consome(QStringView(texto))) {
            c.operador = operador;
            achou = true;
            break;
        }
    }
    if (!achou) return std::nullopt;
    l.pulaBrancos();
    if (!l.consome(u"'")) return std::nullopt;
    for (;;) {
        if (l.fim()) return std::nullopt; // the value's quote never closes
        if (l.consome(u"''")) {
            c.valor += u'\'';
            continue;
        }
        if (l.consome(u"'")) break;
        c.valor += l.t[l.i++];
    }
    return c;
}

} // namespace

std::optional<QList<Condicao>> le(const QString &texto)
{
    QList<Condicao> condicoes;
    Leitor l{texto};
    l.pulaBrancos();
    if (l.fim()) return condicoes;
    for (;;) {
        const std::optional<Condicao> c = leCondicao(l);
        if (!c) return std::nullopt;
        condicoes << *c;
        l.pulaBrancos();
        if (l.fim()) return condicoes;
        // "and" as a word: a blank after it, and a condition after that.
        if (QStringView(texto).mid(l.i, 3).compare(u"and", Qt::CaseInsensitive) != 0) return std::nullopt;
        l.i += 3;
        if (l.fim() || !texto[l.i].isSpace()) return std::nullopt;
    }
}

QString textoDoOperador(Operador operador)
{
    for (const auto &[texto, o] : kOperadores)
        if (o == operador) return QString::fromUtf16(texto);
    return QString();
}

std::optional<Operador> operadorDe(const QString &texto)
{
    for (const auto &[t, o] : kOperadores)
        if (texto == QStringView(t)) return o;
    return std::nullopt;
}

bool atende(Operador operador, int comparacao)
{
    switch (operador) {
    case Operador::Igual:
        return comparacao == 0;
    case Operador::Diferente:
        return comparacao != 0;
    case Operador::Menor:
        return comparacao < 0;
    case Operador::MenorOuIgual:
        return comparacao <= 0;
    case Operador::Maior:
        return comparacao > 0;
    case Operador::MaiorOuIgual:
        return comparacao >= 0;
    }
    return false;
}

QString mensagemDeFiltroInvalido(const QString &texto)
{
    return QStringLiteral("Filtro inválido: %1").arg(texto);
}

} // namespace Filtro
