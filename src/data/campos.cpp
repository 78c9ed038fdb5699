#include "data/campos.h"

#include "data/database.h"
#include "data/esquema.h"

#include <QRegularExpression>

namespace
{

struct Rotulo {
    const char *coluna;
    const char *rotulo;
};

// One label per column: a column has the same label on every tab it appears on.
const Rotulo kRotulos[] = {
    {"numcad_candidato", "Nº cadastro"},
    {"numcad_cargo", "Nº cadastro"},
    {"numcad_partido", "Nº cadastro"},
    {"nome_candidato", "Nome do candidato"},
    {"numero_candidato", "Nº candidato"},
    {"id_cargo", "Cargo"},
    {"id_partido", "Partido"},
    {"id_candidato", "Candidato"},
    {"foto", "Foto"},
    {"cargo", "Nome do cargo"},
    {"quantidade_numeros", "Qtn. de Nº"},
    {"partido", "Nome do partido"},
    {"legenda", "Nº legenda"},
    {"ordem_votacao", "Ordem"},
    {"data_votacao", "Dia da votação"},
    {"voto", "Tipo de voto"},
    {"data", "Data do voto"},
};

struct Nome {
    const char *tabela;
    const char *coluna;
    const char *mensagem;
};

const Nome kNomes[] = {
    {"cargo", "cargo", "O nome do cargo não pode ficar em branco"},
    {"partido", "partido", "O nome do partido não pode ficar em branco"},
    {"candidatos", "nome_candidato", "O nome do candidato não pode ficar em branco"},
};

QString entreAspas(const QString &coluna)
{
    return u'"' + Campos::rotulo(coluna) + u'"';
}

// An engine text that no rule above turned into Portuguese.
bool emIngles(const QString &texto)
{
    static const QRegularExpression palavras(
        QStringLiteral("\\b(error|failed|mismatch|constraint|cannot|such|too|big|interrupted|aborted|denied|"
                       "misuse|range|unknown|locking|protocol|syntax|near|database|available|function|"
                       "transaction|out of|not an)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QChar c : texto)
        if (c.unicode() > 127) return false;
    return palavras.match(texto).hasMatch();
}

} // namespace

namespace Campos
{

QString rotulo(const QString &coluna)
{
    for (const Rotulo &r : kRotulos)
        if (coluna == QLatin1String(r.coluna)) return QString::fromUtf8(r.rotulo);
    return coluna;
}

QString traduzMensagem(const QString &engineMessage)
{
    QString m = Esquema::traduzMensagem(engineMessage);
    // "O campo quantidade_numeros ..." (the schema's rules; older files carry them in their own schema).
    static const QRegularExpression campo(QStringLiteral("\\bO campo ([a-z_]+)\\b"));
    QRegularExpressionMatch achado = campo.match(m);
    if (achado.hasMatch())
        return m.replace(achado.capturedStart(1), achado.capturedLength(1), entreAspas(achado.captured(1)));
    static const QString duplicado = QStringLiteral("Registro duplicado: ");
    if (m.startsWith(duplicado)) {
        QStringList rotulos;
        for (const QString &c : m.mid(duplicado.size()).split(QStringLiteral(", ")))
            rotulos << entreAspas(c.section(u'.', -1));
        return QStringLiteral("Já existe um registro com o mesmo valor em %1")
            .arg(rotulos.join(QStringLiteral(", ")));
    }
    static const QString semColuna = QStringLiteral("Coluna inexistente: ");
    if (m.startsWith(semColuna)) {
        const QString coluna = m.mid(semColuna.size()).section(u'.', -1);
        if (rotulo(coluna) != coluna)
            return QStringLiteral("O arquivo do banco de dados não tem o campo %1 de uma eleição do Votarim")
                .arg(entreAspas(coluna));
    }
    if (m.startsWith(QLatin1String("Tabela inexistente: ")) || m.startsWith(semColuna))
        return QStringLiteral("O arquivo do banco de dados não tem a estrutura de uma eleição do Votarim");
    if (m == engineMessage && emIngles(m))
        return QStringLiteral("O banco de dados não pôde concluir a operação");
    return m;
}

QStringList gatilhos()
{
    QStringList out;
    // Blanks of any kind count as nothing; a name that is null is as empty as ''.
    const QString vazio =
        QStringLiteral("trim(coalesce(NEW.%1, ''), ' ' || char(9) || char(10) || char(13)) = ''");
    for (const Nome &n : kNomes)
        for (const char *quando : {"INSERT", "UPDATE"})
            out << QStringLiteral(
                       "CREATE TEMP TRIGGER IF NOT EXISTS nome_em_branco_%1_%2 BEFORE %3 ON main.%1 "
                       "WHEN %4 BEGIN SELECT RAISE(ABORT, '%5'); END")
                       .arg(QLatin1String(n.tabela), QString::fromLatin1(quando).toLower(),
                            QLatin1String(quando), vazio.arg(QLatin1String(n.coluna)),
                            QString::fromUtf8(n.mensagem));
    return out;
}

void protege(Database &db)
{
    db.execScript(gatilhos().join(QStringLiteral(";\n")));
}

} // namespace Campos
