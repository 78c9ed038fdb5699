#pragma once

// The report data module: the seven report queries on the shared connection, one
// named data connection per query through which the report engine reads rows, the
// engine settings and the report project "relatorio.rav" beside the executable.
// The registration window's print command drives it; it has no behaviour of its own.

#include "apuracao/apuracao.h"
#include "data/query.h"
#include "reportengine/dataconnection.h"
#include "reportengine/enginesettings.h"
#include "reportengine/reportproject.h"

#include <QObject>
#include <vector>

// A query as the report engine reads it. Begin remembers the query's open state,
// filter and row and silences its controls (opening it on its first row when it
// was closed); end puts all of that back, the row without events. The engine's
// lookup conditions become the query's filter.
class ConexaoRelatorio : public ReportEngine::DataConnection
{
  public:
    explicit ConexaoRelatorio(Query &consulta) : m_consulta(consulta) {}

    Query &DataSet() const { return m_consulta; }

    void begin() override;
    void first() override;
    void next() override;
    bool atEnd() const override;
    QList<ReportEngine::FieldInfo> fields() const override;
    QVariant value(int field) const override;
    void setFilter(const QString &filter) override;
    void end() override;

  private:
    Query &m_consulta;
    std::vector<Query::ReaderState> m_guardados; // one per begin not yet ended
};

class Tfrmimpressao : public QObject
{
    Q_OBJECT
  public:
    // The queries use the shared data module's connection, which must exist.
    explicit Tfrmimpressao(QObject *owner);
    Tfrmimpressao(QObject *owner, Database &conexao);
    ~Tfrmimpressao() override;

    // Fixed texts of the three list queries; the day queries get theirs from each result print.
    static const QString kTextoCandidato, kTextoCargo, kTextoPartido;

    Query rel_candidato;
    Query rel_cargo;
    Query rel_partido;
    Query rel_resultadoGERAL;
    Query rel_resultadoCANDIDATO;
    Query rel_resultadoLEGENDA;
    Query rel_candidatos_votacao;
    Query rel_resultadoCARGO; // the day's balance per office

    ConexaoRelatorio tb_candidato{rel_candidato};
    ConexaoRelatorio tb_cargo{rel_cargo};
    ConexaoRelatorio tb_partido{rel_partido};
    ConexaoRelatorio tb_resultadoGERAL{rel_resultadoGERAL};
    ConexaoRelatorio tb_resultadoCANDIDATO{rel_resultadoCANDIDATO};
    ConexaoRelatorio tb_resultadoLEGENDA{rel_resultadoLEGENDA};
    ConexaoRelatorio tb_candidatos_votacao{rel_candidatos_votacao};
    ConexaoRelatorio tb_resultadoCARGO{rel_resultadoCARGO};

    // The result of the last result print, computed once; the result report reads
    // its figures from these tables only, whose rows are the canonical text's rows.
    Apuracao::Resultado apuracao;
    QByteArray textoApuracao; // its canonical text
    QString digitalApuracao;  // the SHA-256 of that text
    ReportEngine::MemoryTable tb_apuracaoDIA;
    ReportEngine::MemoryTable tb_apuracaoTOTAIS;
    ReportEngine::MemoryTable tb_apuracaoCARGOS;
    ReportEngine::MemoryTable tb_apuracaoRANKING;
    ReportEngine::MemoryTable tb_apuracaoLEGENDAS;
    ReportEngine::MemoryTable tb_apuracaoCONCORRENTES;
    ReportEngine::MemoryTable tb_apuracaoDIGITAL;

    ReportEngine::EngineSettings *opcaoes_relatorio;
    ReportEngine::ReportProject *relatorio;

    // The report queries' data connections by the names the project file uses, in
    // this order: the seven, then the balance per office.
    QList<QPair<QString, ConexaoRelatorio *>> conexoes();
    // The result's data connections, in the canonical text's order, then the fingerprint's.
    QList<QPair<QString, ReportEngine::MemoryTable *>> conexoesApuracao();

    // Fills the result's tables from a result and its canonical text.
    void mostraApuracao(Apuracao::Resultado resultado);

    // The connection the queries use.
    Database &conexao() const { return m_conexao; }

  private:
    Database &m_conexao;
};

// Created by the first registration window, owned by the application; never more than one.
extern Tfrmimpressao *frmimpressao;

namespace Relatorios
{

// The four day queries, line by line, for a day text (the day in the short date format).
QStringList textoTotais(const QString &dia);
QStringList textoCandidatos(const QString &dia);
QStringList textoLegendas(const QString &dia);
QStringList textoCandidatosDoDia(const QString &dia);
// The balance per office (rel_resultadoCARGO).
QStringList textoCargos(const QString &dia);

// Gives the five day queries their texts for a day text and opens them, in the order
// above, then computes the day's result into the result's tables; an error stops at
// the query that failed and leaves the rest as they were.
void preparaDia(Tfrmimpressao &modulo, const QString &dia);
// The rows the opened day queries hold, from which the day's result is built.
Apuracao::LinhasDoDia linhasDoDia(const Tfrmimpressao &modulo);

// The fixed fields of the seven report queries, in order.
QList<FieldDef> camposCandidato();
QList<FieldDef> camposCargo();
QList<FieldDef> camposPartido();
QList<FieldDef> camposTotais();
QList<FieldDef> camposVotosCandidato();
QList<FieldDef> camposVotosLegenda();
QList<FieldDef> camposCandidatosDoDia();
QList<FieldDef> camposCargos();

// The SHA-256, in lower-case hexadecimal, of the report project shipped with this
// build (src/reports/relatorio.rav), recorded when the program was built.
extern const QByteArray kHashProjetoDistribuido;

// The result as CSV: one table per section with its column titles, UTF-8 with a
// byte-order mark, ";" between fields, CR LF between lines, the fingerprint last.
QByteArray csvResultado(const Apuracao::Resultado &r, const QString &digital);

// The canonical text of the last result print, and its SHA-256 fingerprint in
// lower-case hexadecimal: what the result report prints on every page.
QByteArray textoCanonico(Tfrmimpressao &modulo);
QString impressaoDigital(Tfrmimpressao &modulo);

// What the last page of a result's report carries as QR codes (parameter
// "texto_canonico"): the canonical text when it fits the page's codes, else a
// Portuguese note saying where to get it; never an error that stops the report.
inline constexpr qsizetype kBytesNosCodigos = 12 * 780;
QString textoDosCodigos(const QByteArray &texto);

// The warning every page of a result laid out by any other project carries.
extern const QString kAvisoProjetoDiferente;

// A hash in groups of 8 hexadecimal digits, easier to read aloud and compare on paper.
QString emGrupos(const QString &hash);

// The reports of a result, each over the tb_apuracao* connections: the day's result
// ("rel_resultadogeral"), the empty day before its first vote ("rel_zero") and the
// totals of many terminals ("rel_totalizacao").
bool ehRelatorioDeResultado(const QString &relatorio);

// What the program itself prints at the foot of every page of a result's report,
// whatever the project holds: the result's fingerprint, the hash of the project that
// laid the pages out and, when that is not the shipped project, the warning in
// red. Nothing for the other reports. The result must be shown (preparaDia or
// mostraApuracao).
ReportEngine::PageStamp carimboDoResultado(Tfrmimpressao &modulo, const QString &relatorio,
                                           const QString &hashProjeto);

} // namespace Relatorios
