// "resultado": the result of a voting day straight from a database file, read-only:
// the one result the report prints (computed by the report data module's day
// queries), its fingerprint and the shipped report project's hash, as plain text,
// CSV or the result report itself in PDF.

#include "comandos.h"
#include "leitura.h"

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

#include <tuple>

namespace
{

using Banco::kSaidaUso;

// "1 voto", "2 votos".
QString quantosVotos(qint64 n)
{
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? QStringLiteral("voto") : QStringLiteral("votos"));
}

// The two lines an official compares with every page of the report.
QString linhasDeConferencia(const QString &digital)
{
    return QStringLiteral("Impressão digital (SHA-256): %1\nProjeto de relatório (SHA-256): %2\n")
        .arg(digital, QString::fromLatin1(Relatorios::kHashProjetoDistribuido));
}

// The result as the report shows it, from the one computed result.
QString textoResultado(const Apuracao::Resultado &r, const QString &digital, const QString &arquivo)
{
    QString t;
    const auto linha = [&t](const QString &s) { t += s + u'\n'; };
    linha(QStringLiteral("Votarim - resultado da votação do dia %1")
              .arg(r.dia.toString(QStringLiteral("dd/MM/yyyy"))));
    linha(QStringLiteral("Banco de dados: %1").arg(arquivo));
    linha(QString());
    linha(QStringLiteral("Votos do dia por tipo"));
    const QHash<QString, QString> nomeDoTipo{
        {QStringLiteral("NORMAL"), QStringLiteral("Nominais (em candidatos)")},
        {QStringLiteral("LEGENDA"), QStringLiteral("De legenda (em partidos)")},
        {QStringLiteral("BRANCO"), QStringLiteral("Brancos")},
        {QStringLiteral("NULO"), QStringLiteral("Nulos")},
        {QStringLiteral("TOTAL"), QStringLiteral("Total de votos do dia")}};
    for (const Apuracao::Total &x : r.totais)
        linha(QStringLiteral("  %1%2  %3 %")
                  .arg(nomeDoTipo.value(x.voto, x.voto).leftJustified(26),
                       QString::number(x.votos).rightJustified(10), x.percentual.rightJustified(6)));
    linha(QString());
    linha(QStringLiteral("Balanço por cargo (nominais, legenda, brancos, nulos, total)"));
    if (r.cargos.isEmpty()) linha(QStringLiteral("  Nenhum cargo na ordem de votação nem voto neste dia."));
    for (const Apuracao::Cargo &x : r.cargos)
        linha(QStringLiteral("  %1  nominais %2  legenda %3  brancos %4  nulos %5  total %6")
                  .arg(x.cargo)
                  .arg(x.normal)
                  .arg(x.legenda)
                  .arg(x.branco)
                  .arg(x.nulo)
                  .arg(x.total));
    linha(QString());
    linha(QStringLiteral("Votação nominal por cargo"));
    if (r.ranking.isEmpty()) linha(QStringLiteral("  Nenhum candidato votado nem concorrendo neste dia."));
    for (qsizetype i = 0; i < r.ranking.size(); ++i) {
        const Apuracao::Colocacao &x = r.ranking[i];
        if (i == 0 || r.ranking[i - 1].idCargo != x.idCargo)
            linha(QStringLiteral("  Cargo: %1").arg(x.cargo));
        linha(QStringLiteral("    %1º  %2  %3  %4  %5  %6 %%7")
                  .arg(x.posicao)
                  .arg(x.numero, x.nome, x.partido, quantosVotos(x.votos), x.percentual,
                       x.situacao.isEmpty() ? QString() : QStringLiteral("  ") + x.situacao));
    }
    linha(QString());
    linha(QStringLiteral("Votos de legenda por partido"));
    if (r.legendas.isEmpty()) linha(QStringLiteral("  Nenhum voto de legenda neste dia."));
    for (const Apuracao::Legenda &x : r.legendas)
        linha(QStringLiteral("  %1  %2  %3  %4 %")
                  .arg(x.legenda, x.partido, quantosVotos(x.votos), x.percentual));
    linha(QString());
    linha(QStringLiteral("Candidatos que concorreram no dia"));
    if (r.concorrentes.isEmpty()) linha(QStringLiteral("  Nenhum candidato no mapa de votação deste dia."));
    for (const Apuracao::Concorrente &x : r.concorrentes)
        linha(QStringLiteral("  %1  %2  %3  %4  %5").arg(x.cargo, x.partido, x.numero, x.nome, x.situacao));
    linha(QString());
    return t + linhasDeConferencia(digital);
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
    // A file read as immutable takes no lock: one that the program opened meanwhile
    // (its "-wal" appears) or that changed is refused rather than reported.
    const auto estado = [&arquivo] {
        const QFileInfo f(arquivo);
        return std::tuple(f.size(), f.lastModified(), QFileInfo::exists(arquivo + QStringLiteral("-wal")));
    };
    const auto antes = estado();
    try {
        Banco::abreParaLeitura(db, arquivo);
        // One snapshot for every query: the rows the fingerprint hashes are the rows shown.
        Transaction leitura(db);
        Tfrmimpressao modulo(nullptr, db);
        // Text and CSV need the result alone; the report also reads the day queries.
        QString digital;
        if (formato == QLatin1String("--pdf")) {
            Relatorios::preparaDia(modulo, dia);
            digital = Relatorios::impressaoDigital(modulo);
        } else {
            modulo.apuracao = Apuracao::calcula(db, data);
            digital = Apuracao::impressaoDigital(Apuracao::textoCanonico(modulo.apuracao));
        }
        if (formato == QLatin1String("--pdf")) {
            pdfResultado(modulo, dia, saida, arquivo);
            bytes = (QStringLiteral("Relatório gravado em %1\n").arg(saida) + linhasDeConferencia(digital))
                        .toUtf8();
        } else if (formato == QLatin1String("--csv")) {
            bytes = Relatorios::csvResultado(modulo.apuracao, digital);
        } else {
            bytes = textoResultado(modulo.apuracao, digital, arquivo).toUtf8();
        }
        leitura.commit();
        db.close();
        if (estado() != antes)
            throw std::runtime_error(
                QStringLiteral("O banco de dados %1 foi aberto por outro programa durante a "
                               "conferência: repita-a")
                    .arg(arquivo)
                    .toStdString());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", qPrintable(Banco::mensagemDeLeitura(e, arquivo)));
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
