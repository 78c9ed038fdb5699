#include "reports/ufrmimpressao.h"

#include "data/dberror.h"
#include "data/ufrmdados.h"
#include "platform/instalacao.h"
#include "platform/mensagens.h"

Tfrmimpressao *frmimpressao = nullptr;

// ---- ConexaoRelatorio

void ConexaoRelatorio::begin()
{
    m_guardados.push_back(m_consulta.beginReading());
}

void ConexaoRelatorio::first()
{
    m_consulta.first();
}

void ConexaoRelatorio::next()
{
    m_consulta.next();
}

bool ConexaoRelatorio::atEnd() const
{
    return !m_consulta.isActive() || m_consulta.eof();
}

QList<ReportEngine::FieldInfo> ConexaoRelatorio::fields() const
{
    using ReportEngine::FieldType;
    QList<ReportEngine::FieldInfo> out;
    for (const FieldDef &d : m_consulta.fieldDefs()) {
        FieldType tipo = FieldType::Text;
        switch (d.type) {
        case ::FieldType::String:
            tipo = FieldType::Text;
            break;
        case ::FieldType::Integer:
        case ::FieldType::SmallInt:
        case ::FieldType::AutoInc:
            tipo = FieldType::Integer;
            break;
        case ::FieldType::Float:
            tipo = FieldType::Float;
            break;
        case ::FieldType::Date:
            tipo = FieldType::Date;
            break;
        case ::FieldType::Blob:
            tipo = FieldType::Blob;
            break;
        }
        out.append(ReportEngine::FieldInfo(d.name, tipo, d.size, d.displayName));
    }
    return out;
}

QVariant ConexaoRelatorio::value(int field) const
{
    return m_consulta.field(field).value();
}

void ConexaoRelatorio::setFilter(const QString &filter)
{
    // The report reads; the system's own handlers have nothing to answer here.
    if (filter != m_consulta.filter())
        m_consulta.setFilter(filter, Query::Events::Skip);
    else if (m_consulta.isActive())
        m_consulta.first();
}

void ConexaoRelatorio::end()
{
    if (m_guardados.empty()) return;
    const Query::ReaderState estado = m_guardados.back();
    m_guardados.pop_back();
    m_consulta.endReading(estado);
}

// ---- Tfrmimpressao

namespace
{

Database &conexaoCompartilhada()
{
    if (!frmdados) throw DbError(QStringLiteral("O banco de dados não está conectado"));
    return frmdados->conexaoDB;
}

} // namespace

const QString Tfrmimpressao::kTextoCandidato = QStringLiteral("select * from candidatos");
const QString Tfrmimpressao::kTextoCargo = QStringLiteral("select * from cargo");
const QString Tfrmimpressao::kTextoPartido = QStringLiteral("select * from partido");

Tfrmimpressao::Tfrmimpressao(QObject *owner) : Tfrmimpressao(owner, conexaoCompartilhada()) {}

Tfrmimpressao::Tfrmimpressao(QObject *owner, Database &conexao)
    : QObject(owner), rel_candidato(conexao), rel_cargo(conexao), rel_partido(conexao),
      rel_resultadoGERAL(conexao), rel_resultadoCANDIDATO(conexao), rel_resultadoLEGENDA(conexao),
      rel_candidatos_votacao(conexao), opcaoes_relatorio(new ReportEngine::EngineSettings(this)),
      relatorio(new ReportEngine::ReportProject(this))
{
    setObjectName(QStringLiteral("frmimpressao"));
    opcaoes_relatorio->setObjectName(QStringLiteral("opcaoes_relatorio"));

    rel_candidato.setSql(kTextoCandidato);
    rel_cargo.setSql(kTextoCargo);
    rel_partido.setSql(kTextoPartido);
    rel_candidatos_votacao.setSql(QStringList{QString()});
    rel_candidato.setFixedFields(Relatorios::camposCandidato());
    rel_cargo.setFixedFields(Relatorios::camposCargo());
    rel_partido.setFixedFields(Relatorios::camposPartido());
    rel_resultadoGERAL.setFixedFields(Relatorios::camposTotais());
    rel_resultadoCANDIDATO.setFixedFields(Relatorios::camposVotosCandidato());
    rel_resultadoLEGENDA.setFixedFields(Relatorios::camposVotosLegenda());
    rel_candidatos_votacao.setFixedFields(Relatorios::camposCandidatosDoDia());

    ReportEngine::EngineSettings &o = *opcaoes_relatorio;
    o.TitleSetup = QStringLiteral("Opções de saida");
    o.TitleStatus = QStringLiteral("Estado atual do relatório");
    o.TitlePreview = QStringLiteral("Vizualização do relatório");
    o.SystemFiler.StatusFormat = QStringLiteral("Gerando página %p");
    o.SystemPrinter.StatusFormat = QStringLiteral("Imprimindo página %p");
    o.SystemPrinter.Title = QStringLiteral("Votarim");
    o.SystemPreview.ZoomFactor = 100;
    o.SystemPrinter.ScaleX = 100;
    o.SystemPrinter.ScaleY = 100;
    o.SystemPrinter.UnitsFactor = 1;
    o.DefaultDest = ReportEngine::Destination::Preview;
    o.SystemSetups = ReportEngine::Setup::AllowSetup | ReportEngine::Setup::AllowCopies |
                     ReportEngine::Setup::AllowCollate | ReportEngine::Setup::AllowDuplex |
                     ReportEngine::Setup::AllowDestPreview | ReportEngine::Setup::AllowDestPrinter |
                     ReportEngine::Setup::AllowDestFile | ReportEngine::Setup::AllowPrinterSetup |
                     ReportEngine::Setup::AllowPreviewSetup;
    o.SystemOptions = ReportEngine::Option::ShowStatus | ReportEngine::Option::AllowPrintFromPreview |
                      ReportEngine::Option::AllowSaveFromPreview | ReportEngine::Option::PreviewModal;

    relatorio->ProjectFile = Instalacao::caminho(QStringLiteral("relatorio.rav"));
    relatorio->Engine = opcaoes_relatorio;
    relatorio->errorHandler = [](const std::exception &e) { Mensagens::relataErro(e); };
    relatorio->pageStamp = [this](const QString &nome, const QString &hashProjeto) {
        return Relatorios::carimboDoResultado(*this, nome, hashProjeto);
    };
    for (const auto &[nome, conexaoRelatorio] : conexoes())
        relatorio->connections().add(nome, conexaoRelatorio);
}

Tfrmimpressao::~Tfrmimpressao()
{
    if (frmimpressao == this) frmimpressao = nullptr;
}

QList<QPair<QString, ConexaoRelatorio *>> Tfrmimpressao::conexoes()
{
    return {{QStringLiteral("tb_candidato"), &tb_candidato},
            {QStringLiteral("tb_cargo"), &tb_cargo},
            {QStringLiteral("tb_partido"), &tb_partido},
            {QStringLiteral("tb_resultadoGERAL"), &tb_resultadoGERAL},
            {QStringLiteral("tb_resultadoCANDIDATO"), &tb_resultadoCANDIDATO},
            {QStringLiteral("tb_resultadoLEGENDA"), &tb_resultadoLEGENDA},
            {QStringLiteral("tb_candidatos_votacao"), &tb_candidatos_votacao}};
}

// ---- The day queries and the fields

namespace Relatorios
{

QStringList textoTotais(const QString &dia)
{
    const QString d = dia;
    return {
        QStringLiteral("select count(data) as Totalgeral,"),
        QStringLiteral(" (select count(voto) from contagem_votacao where voto = \"BRANCO\" and data = "
                       "datevalue(\"%1\")) as Totalbranco,")
            .arg(d),
        QStringLiteral(" (select count(voto) from contagem_votacao where voto = \"NULO\" and data = "
                       "datevalue(\"%1\")) as Totalnulo,")
            .arg(d),
        QStringLiteral(" (select count(voto) from contagem_votacao where voto = \"LEGENDA\" and data = "
                       "datevalue(\"%1\")) as Totallegenda,")
            .arg(d),
        QStringLiteral("(select count(voto) from contagem_votacao where voto = \"NORMAL\" and data = "
                       "datevalue(\"%1\")) as Totalnormal")
            .arg(d),
        QStringLiteral("from contagem_votacao where data =  datevalue(\"%1\")").arg(d),
    };
}

QStringList textoCandidatos(const QString &dia)
{
    return {
        QStringLiteral(
            "SELECT id_candidato, numero_candidato, id_cargo, id_partido, count(id_candidato) AS Totalvotos"),
        QStringLiteral(" FROM contagem_votacao WHERE data= datevalue (\"%1\") and voto=\"NORMAL\"").arg(dia),
        QStringLiteral("GROUP BY id_cargo, id_partido, id_candidato, numero_candidato order by id_cargo, "
                       "count(id_candidato) desc, id_partido"),
    };
}

QStringList textoLegendas(const QString &dia)
{
    return {
        QStringLiteral("SELECT id_candidato,legenda, count(legenda) AS Totalvotos"),
        QStringLiteral(" FROM contagem_votacao"),
        QStringLiteral(" WHERE data = datevalue (\"%1\") And voto=\"LEGENDA\"").arg(dia),
        QStringLiteral(" GROUP BY legenda, id_candidato"),
    };
}

QStringList textoCandidatosDoDia(const QString &dia)
{
    // The map's overview, for one day, in the report's order.
    QStringList linhas = Tfrmdados::sqlMapaGeral();
    linhas << QStringLiteral(" and data_votacao = datevalue(\"%1\") order by cargo, partido, candidatos.nome_candidato ")
                  .arg(dia);
    return linhas;
}

void preparaDia(Tfrmimpressao &modulo, const QString &dia)
{
    // The whole text at once: line by line, every partial text would be translated too.
    const auto abre = [](Query &consulta, const QStringList &linhas) {
        consulta.setSql(linhas);
        consulta.open();
    };
    abre(modulo.rel_resultadoGERAL, textoTotais(dia));
    abre(modulo.rel_resultadoCANDIDATO, textoCandidatos(dia));
    abre(modulo.rel_resultadoLEGENDA, textoLegendas(dia));
    abre(modulo.rel_candidatos_votacao, textoCandidatosDoDia(dia));
}

namespace
{
FieldDef campo(const char *nome, FieldType tipo, int tamanho = 0)
{
    const QString n = QString::fromLatin1(nome);
    return FieldDef{n, tipo, tamanho, n};
}
} // namespace

QList<FieldDef> camposCandidato()
{
    return {campo("numcad_candidato", FieldType::AutoInc),   campo("nome_candidato", FieldType::String, 100),
            campo("numero_candidato", FieldType::String, 5), campo("id_partido", FieldType::Integer),
            campo("id_cargo", FieldType::Integer),           campo("foto", FieldType::Blob)};
}

QList<FieldDef> camposCargo()
{
    return {campo("numcad_cargo", FieldType::AutoInc), campo("cargo", FieldType::String, 60),
            campo("quantidade_numeros", FieldType::SmallInt)};
}

QList<FieldDef> camposPartido()
{
    return {campo("numcad_partido", FieldType::AutoInc), campo("partido", FieldType::String, 50),
            campo("legenda", FieldType::String, 2)};
}

QList<FieldDef> camposTotais()
{
    return {campo("Totalgeral", FieldType::Integer), campo("Totalbranco", FieldType::Integer),
            campo("Totalnulo", FieldType::Integer), campo("Totallegenda", FieldType::Integer),
            campo("Totalnormal", FieldType::Integer)};
}

QList<FieldDef> camposVotosCandidato()
{
    return {campo("id_candidato", FieldType::Integer), campo("numero_candidato", FieldType::String, 5),
            campo("id_cargo", FieldType::Integer), campo("id_partido", FieldType::Integer),
            campo("Totalvotos", FieldType::Integer)};
}

QList<FieldDef> camposVotosLegenda()
{
    return {campo("id_candidato", FieldType::Integer), campo("legenda", FieldType::String, 2),
            campo("Totalvotos", FieldType::Integer)};
}

QList<FieldDef> camposCandidatosDoDia()
{
    return {campo("nome_candidato", FieldType::String, 100), campo("cargo", FieldType::String, 60),
            campo("partido", FieldType::String, 50)};
}

namespace
{
// Runs `ler` over the four day queries, in the order the fingerprint reads them,
// each begun for the reading and put back afterwards, whatever happens.
template <class F> auto lendo(Tfrmimpressao &m, F &&ler)
{
    QList<QPair<QString, ReportEngine::DataConnection *>> conexoes;
    for (const auto &[nome, conexao] : m.conexoes().mid(3)) // the day's are the last four
        conexoes.append({nome, conexao});
    int comecadas = 0;
    const auto termina = [&] {
        while (comecadas > 0)
            conexoes[--comecadas].second->end();
    };
    try {
        for (const auto &c : conexoes) {
            c.second->begin();
            ++comecadas;
        }
        auto resultado = ler(conexoes);
        termina();
        return resultado;
    } catch (...) {
        // The first error is the one to report; putting the rest back is all that is left to do.
        try {
            termina();
        } catch (...) {
        }
        throw;
    }
}
} // namespace

QByteArray textoCanonico(Tfrmimpressao &modulo)
{
    return lendo(modulo, [](const QList<QPair<QString, ReportEngine::DataConnection *>> &conexoes) {
        QByteArray texto;
        for (const auto &[nome, conexao] : conexoes)
            texto += ReportEngine::canonicalText(*conexao, nome);
        return texto;
    });
}

QString impressaoDigital(Tfrmimpressao &modulo)
{
    return lendo(modulo, [](const QList<QPair<QString, ReportEngine::DataConnection *>> &conexoes) {
        return ReportEngine::fingerprint(conexoes);
    });
}

const QString kHashProjetoDistribuido = QStringLiteral(VOTARIM_HASH_PROJETO_DISTRIBUIDO);
const QString kAvisoProjetoDiferente = QStringLiteral("Projeto de relatório diferente do distribuído");

QString emGrupos(const QString &hash)
{
    QStringList grupos;
    for (qsizetype i = 0; i < hash.size(); i += 8)
        grupos << hash.mid(i, 8);
    return grupos.join(u' ');
}

ReportEngine::PageStamp carimboDoResultado(Tfrmimpressao &modulo, const QString &relatorio,
                                           const QString &hashProjeto)
{
    ReportEngine::PageStamp carimbo;
    if (relatorio.compare(QStringLiteral("rel_resultadogeral"), Qt::CaseInsensitive) != 0) return carimbo;
    carimbo.lines.push_back(
        {QStringLiteral("Impressão digital (SHA-256): ") + emGrupos(impressaoDigital(modulo)), Qt::black});
    carimbo.lines.push_back({QStringLiteral("Projeto de relatório (SHA-256): ") + emGrupos(hashProjeto), Qt::black});
    if (hashProjeto != kHashProjetoDistribuido) carimbo.lines.push_back({kAvisoProjetoDiferente, Qt::red});
    return carimbo;
}

} // namespace Relatorios
