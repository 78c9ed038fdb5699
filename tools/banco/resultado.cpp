// "resultado": the result of a voting day straight from a database file, read-only:
// the same four day queries as the result report, the same canonical text and
// SHA-256 fingerprint, as plain text, CSV or the result report itself in PDF.

#include "comandos.h"

#include "data/database.h"
#include "data/diatexto.h"
#include "data/esquema.h"
#include "data/query.h"
#include "reportengine/render.h"
#include "reports/ufrmimpressao.h"

#include <QDate>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace
{

using Banco::kSaidaUso;

// The database is held by the running program (or another writer): nothing to read.
bool emUso(const DbError &e)
{
    const int codigo = e.code() & 0xff;
    return codigo == 5 /* SQLITE_BUSY */ || codigo == 6 /* SQLITE_LOCKED */;
}

// "1 voto", "2 votos".
QString quantosVotos(qint64 n)
{
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? QStringLiteral("voto") : QStringLiteral("votos"));
}

QString percentual(qint64 parte, qint64 todo)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil)
        .toString(todo == 0 ? 0.0 : double(parte) * 100.0 / double(todo), 'f', 2);
}

// The names the result's identifiers stand for, by key.
QHash<qint64, QString> nomes(Database &db, const QString &sql)
{
    QHash<qint64, QString> out;
    Query q(db);
    q.setSql(sql);
    q.open();
    for (q.first(); !q.eof(); q.next())
        out.insert(q.field(0).asInteger(), q.field(1).asString());
    return out;
}

// What the result holds, read once from the four day queries.
struct Resultado {
    QString dia;     // as the program writes it (the report's "diarelatorio")
    QString digital; // the report's SHA-256 fingerprint
    qint64 total = 0, branco = 0, nulo = 0, legenda = 0, normal = 0;
    struct Linha {
        QString cargo;
        int posicao;
        QString numero, candidato, partido;
        qint64 votos, votosDoCargo;
    };
    QList<Linha> ranking;
    struct Legenda {
        QString legenda, partido;
        qint64 votos;
    };
    QList<Legenda> legendas;
    qint64 votosLegenda = 0;
    struct Concorrente {
        QString candidato, cargo, partido;
        bool comVotos;
    };
    QList<Concorrente> concorrentes;
};

// The four day queries must be open for the day.
Resultado leResultado(Database &db, Tfrmimpressao &m, const QString &dia)
{
    Resultado r;
    r.dia = dia;
    r.digital = Relatorios::impressaoDigital(m);

    Query &g = m.rel_resultadoGERAL;
    g.first();
    r.total = g.field(QStringLiteral("Totalgeral")).asInteger();
    r.branco = g.field(QStringLiteral("Totalbranco")).asInteger();
    r.nulo = g.field(QStringLiteral("Totalnulo")).asInteger();
    r.legenda = g.field(QStringLiteral("Totallegenda")).asInteger();
    r.normal = g.field(QStringLiteral("Totalnormal")).asInteger();

    // Candidates by key, and by name for matching who stood (see below), from one reading.
    QHash<qint64, QString> candidatos;
    QMultiHash<QString, QPair<qint64, qint64>> porNome; // name -> (candidate, office)
    {
        Query q(db);
        q.setSql(QStringLiteral("select numcad_candidato, nome_candidato, id_cargo from candidatos"));
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            candidatos.insert(q.field(0).asInteger(), q.field(1).asString());
            porNome.insert(q.field(1).asString(), {q.field(0).asInteger(), q.field(2).asInteger()});
        }
    }
    const auto cargos = nomes(db, QStringLiteral("select numcad_cargo, cargo from cargo"));
    const auto partidos = nomes(db, QStringLiteral("select numcad_partido, partido from partido"));
    const auto nome = [](const QHash<qint64, QString> &tabela, const Field &f, const QString &ausente) {
        return !f.isNull() && tabela.contains(f.asInteger()) ? tabela.value(f.asInteger()) : ausente;
    };

    Query &c = m.rel_resultadoCANDIDATO;
    QHash<QString, qint64> votosPorCargo; // by the office's key as text, null included
    QSet<qint64> comVotos;
    for (c.first(); !c.eof(); c.next()) {
        votosPorCargo[c.field(QStringLiteral("id_cargo")).asString()] +=
            c.field(QStringLiteral("Totalvotos")).asInteger();
        comVotos.insert(c.field(QStringLiteral("id_candidato")).asInteger());
    }
    QString cargoAnterior;
    int posicao = 0;
    bool primeira = true;
    for (c.first(); !c.eof(); c.next()) {
        const QString idCargo = c.field(QStringLiteral("id_cargo")).asString();
        posicao = primeira || idCargo != cargoAnterior ? 1 : posicao + 1;
        primeira = false;
        cargoAnterior = idCargo;
        r.ranking.append(
            {nome(cargos, c.field(QStringLiteral("id_cargo")), QStringLiteral("(cargo removido)")), posicao,
             c.field(QStringLiteral("numero_candidato")).asString(),
             nome(candidatos, c.field(QStringLiteral("id_candidato")),
                  QStringLiteral("(candidato removido)")),
             nome(partidos, c.field(QStringLiteral("id_partido")), QStringLiteral("(partido removido)")),
             c.field(QStringLiteral("Totalvotos")).asInteger(), votosPorCargo.value(idCargo)});
    }

    Query &l = m.rel_resultadoLEGENDA;
    for (l.first(); !l.eof(); l.next()) {
        r.legendas.append(
            {l.field(QStringLiteral("legenda")).asString(),
             nome(partidos, l.field(QStringLiteral("id_candidato")), QStringLiteral("(partido removido)")),
             l.field(QStringLiteral("Totalvotos")).asInteger()});
        r.votosLegenda += r.legendas.last().votos;
    }

    // Who stood that day, matched to the votes as the report does: by name within
    // the office, else by name alone.
    QHash<QString, qint64> cargoPorNome;
    for (auto it = cargos.cbegin(); it != cargos.cend(); ++it)
        if (!cargoPorNome.contains(it.value())) cargoPorNome.insert(it.value(), it.key());
    Query &d = m.rel_candidatos_votacao;
    for (d.first(); !d.eof(); d.next()) {
        const QString candidato = d.field(QStringLiteral("nome_candidato")).asString();
        const QString cargo = d.field(QStringLiteral("cargo")).asString();
        qint64 id = -1;
        const auto iguais = porNome.values(candidato);
        for (const auto &[numcad, idCargo] : iguais)
            if (cargoPorNome.contains(cargo) && idCargo == cargoPorNome.value(cargo)) id = numcad;
        if (id < 0 && !iguais.isEmpty()) id = iguais.last().first; // the first in the table's order
        r.concorrentes.append(
            {candidato, cargo, d.field(QStringLiteral("partido")).asString(), comVotos.contains(id)});
    }
    return r;
}

QString textoResultado(const Resultado &r, const QString &arquivo)
{
    QString t;
    const auto linha = [&t](const QString &s) { t += s + u'\n'; };
    linha(QStringLiteral("Votarim - resultado da votação do dia %1").arg(r.dia));
    linha(QStringLiteral("Banco de dados: %1").arg(arquivo));
    linha(QString());
    linha(QStringLiteral("Votos do dia por tipo"));
    const auto tipo = [&](const QString &nome, qint64 votos) {
        linha(QStringLiteral("  %1%2  %3 %")
                  .arg(nome.leftJustified(26), QString::number(votos).rightJustified(10),
                       percentual(votos, r.total).rightJustified(6)));
    };
    tipo(QStringLiteral("Nominais (em candidatos)"), r.normal);
    tipo(QStringLiteral("De legenda (em partidos)"), r.legenda);
    tipo(QStringLiteral("Brancos"), r.branco);
    tipo(QStringLiteral("Nulos"), r.nulo);
    tipo(QStringLiteral("Total de votos do dia"), r.total);
    linha(QString());
    linha(QStringLiteral("Votação nominal por cargo"));
    if (r.ranking.isEmpty()) linha(QStringLiteral("  Nenhum voto nominal neste dia."));
    QString cargo;
    for (qsizetype i = 0; i < r.ranking.size(); ++i) {
        const auto &x = r.ranking[i];
        if (x.posicao == 1) {
            cargo = x.cargo;
            linha(QStringLiteral("  Cargo: %1 (%2 nominais)").arg(x.cargo, quantosVotos(x.votosDoCargo)));
        }
        linha(QStringLiteral("    %1º  %2  %3  %4  %5  %6 %")
                  .arg(x.posicao)
                  .arg(x.numero, x.candidato, x.partido, quantosVotos(x.votos))
                  .arg(percentual(x.votos, x.votosDoCargo)));
    }
    linha(QString());
    linha(QStringLiteral("Votos de legenda por partido"));
    if (r.legendas.isEmpty()) linha(QStringLiteral("  Nenhum voto de legenda neste dia."));
    for (const auto &x : r.legendas)
        linha(QStringLiteral("  %1  %2  %3  %4 %")
                  .arg(x.legenda, x.partido, quantosVotos(x.votos))
                  .arg(percentual(x.votos, r.votosLegenda)));
    linha(QString());
    linha(QStringLiteral("Candidatos que concorreram no dia"));
    if (r.concorrentes.isEmpty()) linha(QStringLiteral("  Nenhum candidato no mapa de votação deste dia."));
    for (const auto &x : r.concorrentes)
        linha(QStringLiteral("  %1  %2  %3  %4")
                  .arg(x.candidato, x.cargo, x.partido,
                       x.comVotos ? QStringLiteral("com votos") : QStringLiteral("sem votos")));
    linha(QString());
    linha(QStringLiteral("Impressão digital (SHA-256): %1").arg(r.digital));
    return t;
}

// One table per part, as spreadsheets set to Portuguese read them: UTF-8 with a
// byte-order mark, ";" between fields, CR LF between lines.
QByteArray csvResultado(const Resultado &r)
{
    QString t;
    const auto linha = [&](const QStringList &campos) {
        QStringList l;
        for (const QString &c : campos)
            l << ReportEngine::csvField(c);
        t += l.join(u';') + QStringLiteral("\r\n");
    };
    linha({QStringLiteral("Dia"), r.dia});
    t += QStringLiteral("\r\n");
    linha({QStringLiteral("Tipo"), QStringLiteral("Votos"), QStringLiteral("% dos votos do dia")});
    linha({QStringLiteral("NORMAL"), QString::number(r.normal), percentual(r.normal, r.total)});
    linha({QStringLiteral("LEGENDA"), QString::number(r.legenda), percentual(r.legenda, r.total)});
    linha({QStringLiteral("BRANCO"), QString::number(r.branco), percentual(r.branco, r.total)});
    linha({QStringLiteral("NULO"), QString::number(r.nulo), percentual(r.nulo, r.total)});
    linha({QStringLiteral("TOTAL"), QString::number(r.total), percentual(r.total, r.total)});
    t += QStringLiteral("\r\n");
    linha({QStringLiteral("Cargo"), QStringLiteral("Posição"), QStringLiteral("Nº votado"),
           QStringLiteral("Candidato"), QStringLiteral("Partido"), QStringLiteral("Votos"),
           QStringLiteral("% do cargo")});
    for (const auto &x : r.ranking)
        linha({x.cargo, QString::number(x.posicao), x.numero, x.candidato, x.partido,
               QString::number(x.votos), percentual(x.votos, x.votosDoCargo)});
    t += QStringLiteral("\r\n");
    linha({QStringLiteral("Legenda"), QStringLiteral("Partido"), QStringLiteral("Votos"),
           QStringLiteral("% da legenda")});
    for (const auto &x : r.legendas)
        linha({x.legenda, x.partido, QString::number(x.votos), percentual(x.votos, r.votosLegenda)});
    t += QStringLiteral("\r\n");
    linha({QStringLiteral("Candidato"), QStringLiteral("Cargo"), QStringLiteral("Partido"),
           QStringLiteral("Situação")});
    for (const auto &x : r.concorrentes)
        linha({x.candidato, x.cargo, x.partido,
               x.comVotos ? QStringLiteral("com votos") : QStringLiteral("sem votos")});
    t += QStringLiteral("\r\n");
    linha({QStringLiteral("SHA-256"), r.digital});
    return QByteArrayLiteral("\xEF\xBB\xBF") + t.toUtf8();
}

// The result report of the shipped project, laid out over the same queries and written as PDF.
void pdfResultado(Tfrmimpressao &m, const QString &dia, const QString &saida, const QString &banco)
{
    // Said here in the operator's words; reading errors are the engine's.
    const QString caminho = m.relatorio->ProjectFile;
    // Only a regular file: reading a FIFO or a device would wait forever.
    if (!QFileInfo(caminho).isFile())
        throw std::runtime_error(
            QStringLiteral("O projeto de relatórios %1 não foi encontrado").arg(caminho).toStdString());
    m.relatorio->SetReportParameter(QStringLiteral("diarelatorio"), dia);
    const auto paginas = m.relatorio->prepareReport(QStringLiteral("rel_resultadogeral"));
    if (!paginas)
        throw std::runtime_error(
            QStringLiteral("O projeto %1 não tem o relatório rel_resultadogeral").arg(caminho).toStdString());
    Banco::gravaArquivo(saida, banco, [&](const QString &temporario) {
        if (!ReportEngine::writePdf(*paginas, temporario, QStringLiteral("Votarim")))
            throw std::runtime_error("A geração do relatório foi interrompida");
    });
}

int resultadoDoDia(const QString &arquivo, const QString &diaIso, const QString &formato, const QString &saida)
{
    static const QRegularExpression formaDoDia(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QDate data = QDate::fromString(diaIso, Qt::ISODate);
    if (!formaDoDia.match(diaIso).hasMatch() || !data.isValid()) {
        std::fprintf(stderr, "Dia inválido: \"%s\" (use AAAA-MM-DD, por exemplo 2024-10-06)\n",
                     qPrintable(diaIso));
        return kSaidaUso;
    }
    if (!QFileInfo(arquivo).isFile()) {
        std::fprintf(stderr, "O banco de dados %s não foi encontrado\n", qPrintable(arquivo));
        return 1;
    }
    const QString dia = DiaTexto::escreve(data);
    Database db;
    QByteArray bytes;
    try {
        Banco::abreParaLeitura(db, arquivo);
        // One snapshot for every query: the rows the fingerprint hashes are the rows shown.
        Transaction leitura(db);
        Tfrmimpressao modulo(nullptr, db);
        Relatorios::preparaDia(modulo, dia);
        if (formato == QLatin1String("--pdf")) {
            const QString digital = Relatorios::impressaoDigital(modulo);
            pdfResultado(modulo, dia, saida, arquivo);
            bytes = QStringLiteral("Relatório gravado em %1\nImpressão digital (SHA-256): %2\n")
                        .arg(saida, digital)
                        .toUtf8();
        } else {
            const Resultado r = leResultado(db, modulo, dia);
            bytes = formato == QLatin1String("--csv") ? csvResultado(r) : textoResultado(r, arquivo).toUtf8();
        }
        leitura.commit();
    } catch (const DbError &e) {
        if (emUso(e))
            std::fprintf(stderr,
                         "O banco de dados %s está aberto pelo Votarim (ou por outro programa): feche-o e "
                         "repita a conferência\n",
                         qPrintable(arquivo));
        else
            std::fprintf(stderr, "%s\n", e.what());
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return Banco::escreveSaida(bytes) ? 0 : 1;
}
} // namespace

int Banco::resultado(const QStringList &argumentos)
{
    const QString formato = argumentos.size() > 2 ? argumentos[2] : QString();
    const bool valido = (argumentos.size() == 2 || (argumentos.size() == 3 && formato == QLatin1String("--csv")) ||
                         (argumentos.size() == 4 && formato == QLatin1String("--pdf") && !argumentos[3].isEmpty())) &&
                        !argumentos[0].isEmpty();
    if (!valido) {
        Banco::escreveUso(stderr);
        return kSaidaUso;
    }
    return resultadoDoDia(argumentos[0], argumentos[1], formato, argumentos.size() == 4 ? argumentos[3] : QString());
}
