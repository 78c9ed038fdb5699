#include "terminal/cedula.h"

#include "data/arquivo.h"
#include "data/database.h"
#include "data/esquema.h"
#include "data/query.h"
#include "platform/bitmap.h"
#include "platform/instalacao.h"

#include <QDate>
#include <QFile>

const QString Cedula::kNumeroErrado = QStringLiteral("NÚMERO ERRADO");
const QString Cedula::kCandidatoInexistente = QStringLiteral("CANDIDATO INEXISTENTE");
const QString Cedula::kMarcaLegenda = QStringLiteral("(Voto de legenda)");
const QString Cedula::kMarcaNulo = QStringLiteral("(Voto nulo)");
const QString Cedula::kMarcaBranco = QStringLiteral("(Voto em branco)");

namespace
{

QString chaveDe7Caracteres(const QString &s) { return s.left(7); }

} // namespace

Cedula::Cedula(Database &db, QObject *parent) : QObject(parent), m_db(db) {}

QString Cedula::textoMarca() const
{
    switch (m_marca) {
    case Marca::Legenda:
        return kMarcaLegenda;
    case Marca::Nulo:
        return kMarcaNulo;
    case Marca::Branco:
        return kMarcaBranco;
    case Marca::Nenhuma:
        break;
    }
    return QString();
}

void Cedula::prepara_cargo(const QString &cargo, const QString &idCargo, qint64 quantidade, Evento motivo)
{
    m_fase = Fase::Cargo;
    m_cargo = cargo;
    m_idCargo = idCargo;
    m_qtd = quantidade >= 1 && quantidade <= 5 ? int(quantidade) : 0;
    m_digitos.clear();
    m_marca = Marca::Nenhuma;
    m_titulo = cargo;
    m_mostraNome = m_mostraPartido = false;
    m_foto = QImage();
    // The keys of the last lookups are not cleared: the act-test of CONFIRMA and the
    // clearing before each check keep them from being stored for another ballot.
    emit evento(motivo);
}

void Cedula::encerra_ciclo()
{
    m_fase = Fase::Fim;
    m_digitos.clear();
    m_marca = Marca::Nenhuma;
    m_mostraNome = m_mostraPartido = false;
    emit evento(Evento::Fim);
}

bool Cedula::digita_tecla(const QString &d)
{
    if (m_fase != Fase::Cargo || m_marca == Marca::Nulo || m_marca == Marca::Branco) return false;
    if (m_digitos.size() >= m_qtd) return false;
    m_digitos += d;
    emit evento(Evento::Digito);
    // No check after the first digit of an office of two or more digits.
    if (m_digitos.size() > 1 || m_qtd == 1) valida_numero();
    return true;
}

void Cedula::valida_numero()
{
    const int q = m_qtd;
    const int n = int(m_digitos.size());
    // Keys are cleared before the checks that may set them: a check or lookup that fails
    // must not leave an earlier ballot's keys for CONFIRMA to store.
    candidato_atual.clear();
    partido_atual.clear();
    cargo_atual.clear();
    if (q >= 3 && n == 2) partido_legenda.clear();
    if (q <= 2) {
        if (existe_numero(false, true)) {
            if (n == q) {
                sinaliza_voto(false, false, false, true);
                if (!mostra_dados_voto(false)) sinaliza_voto(true, false, false, false);
            }
        } else {
            sinaliza_voto(true, false, false, false);
        }
    } else if (n == 2) {
        if (existe_numero(true, false)) {
            sinaliza_voto(false, true, false, false);
            mostra_dados_voto(true);
        } else {
            sinaliza_voto(true, false, false, false);
        }
    } else if (n > 2) {
        // A candidate the lookup cannot show (its party is gone) counts as no candidate.
        const bool candidato = existe_numero(false, true);
        if (candidato && n < q) return;
        if (candidato) {
            sinaliza_voto(false, false, false, true);
            if (mostra_dados_voto(false)) return;
        }
        if (existe_numero(true, false)) {
            if (n == q) sinaliza_voto(false, false, true, false);
        } else {
            sinaliza_voto(true, false, false, false);
        }
    }
}

bool Cedula::existe_numero(bool legenda, bool candidato)
{
    Query q(m_db);
    bool existe = false;
    if (legenda) {
        q.setSql(QStringLiteral("select legenda from partido where legenda = :legenda"));
        q.setParam(QStringLiteral("legenda"), legendaDigitada());
        q.open();
        existe = q.recordCount() > 0;
    }
    if (candidato) {
        q.setSql(QStringLiteral("select numero_candidato from candidatos where numero_candidato = :numero_candidato "
                                "and id_cargo = :id_cargo"));
        q.setParam(QStringLiteral("numero_candidato"), m_digitos);
        q.setParam(QStringLiteral("id_cargo"), m_idCargo);
        q.open();
        existe = q.recordCount() > 0;
    }
    return existe;
}

void Cedula::sinaliza_voto(bool numero_errado, bool voto_legenda, bool candidato_inexistente, bool limpa)
{
    if (limpa) m_marca = Marca::Nenhuma;
    if (numero_errado) {
        m_titulo = kNumeroErrado;
        m_marca = Marca::Nulo;
        ++m_sinalizacoes;
        emit evento(Evento::NumeroErrado);
    }
    if (voto_legenda) {
        m_marca = Marca::Legenda;
        ++m_sinalizacoes;
    }
    if (candidato_inexistente) {
        m_titulo = kCandidatoInexistente;
        m_marca = Marca::Legenda;
        ++m_sinalizacoes;
        emit evento(Evento::CandidatoInexistente);
    }
}

bool Cedula::mostra_dados_voto(bool legenda)
{
    Query q(m_db);
    if (legenda) {
        q.setSql(QStringLiteral("select numcad_partido,partido from partido where legenda = :legenda"));
        q.setParam(QStringLiteral("legenda"), legendaDigitada());
        q.open();
        if (q.recordCount() == 0) return false;
        m_partido = q.field(QStringLiteral("partido")).asString();
        partido_legenda = chaveDe7Caracteres(q.field(QStringLiteral("numcad_partido")).asString());
        m_mostraPartido = true;
        emit evento(Evento::Legenda);
        return true;
    }
    // The typed number is bound as a parameter rather than written into the text.
    q.setSql(QStringList{
        QStringLiteral("select numcad_candidato, nome_candidato as candidato, partido, id_partido, id_cargo, foto "
                       "from candidatos"),
        QStringLiteral(" inner join partido on candidatos.id_partido = partido.numcad_partido where "
                       "numero_candidato = :numero_candidato and id_cargo = :id_cargo")});
    q.setParam(QStringLiteral("numero_candidato"), m_digitos);
    q.setParam(QStringLiteral("id_cargo"), m_idCargo);
    q.open();
    if (q.recordCount() == 0) return false;
    m_nome = q.field(QStringLiteral("candidato")).asString();
    m_partido = q.field(QStringLiteral("partido")).asString();
    m_mostraNome = m_mostraPartido = true;
    candidato_atual = chaveDe7Caracteres(q.field(QStringLiteral("numcad_candidato")).asString());
    partido_atual = chaveDe7Caracteres(q.field(QStringLiteral("id_partido")).asString());
    cargo_atual = chaveDe7Caracteres(q.field(QStringLiteral("id_cargo")).asString());
    const QByteArray foto = q.field(QStringLiteral("foto")).asBytes();
    if (!foto.isEmpty()) {
        // The photo passes through its temporary file beside the program, as it always
        // has; the picture is decoded from the bytes already in memory, not read back.
        const QString arquivo = Instalacao::caminho(Instalacao::kFotoTerminal);
        Arquivo::substitui(arquivo, foto);
        m_foto = Bitmap::deBytes(foto); // an unreadable photo leaves the file for the next one
        QFile::remove(arquivo);
    }
    emit evento(Evento::Candidato);
    return true;
}

bool Cedula::podeBranco() const
{
    return m_fase == Fase::Cargo && m_marca != Marca::Branco && m_digitos.isEmpty();
}

bool Cedula::branco()
{
    if (!podeBranco()) return false;
    m_marca = Marca::Branco;
    emit evento(Evento::Branco);
    return true;
}

bool Cedula::podeConfirmar() const
{
    if (m_fase != Fase::Cargo) return false;
    // At an office whose digit count is unusable only a blank vote can be cast.
    if (m_qtd < 1 && m_marca != Marca::Branco) return false;
    if (m_marca == Marca::Nenhuma && m_digitos.size() != m_qtd) return false;
    // A verdict whose lookup failed found no key: as for a number still incomplete.
    if (m_marca == Marca::Nenhuma && candidato_atual.isEmpty()) return false;
    if (m_marca == Marca::Legenda && partido_legenda.isEmpty()) return false;
    return true;
}

QVariantList Cedula::registro() const
{
    const QVariant nulo;
    const QDate hoje = QDate::currentDate();
    // Every kind names the office on screen, so that a day's blank, null and legend
    // votes can be counted office by office.
    const QString cargo = chaveDe7Caracteres(m_idCargo);
    switch (m_marca) {
    case Marca::Nenhuma:
        return {candidato_atual, m_digitos, Esquema::kVotoNormal, hoje, nulo, cargo_atual, partido_atual};
    case Marca::Legenda:
        return {partido_legenda, nulo, Esquema::kVotoLegenda, hoje, legendaDigitada(), cargo, nulo};
    case Marca::Nulo:
        return {nulo, nulo, Esquema::kVotoNulo, hoje, nulo, cargo, nulo};
    case Marca::Branco:
        return {nulo, nulo, Esquema::kVotoBranco, hoje, nulo, cargo, nulo};
    }
    return {};
}

void Cedula::grava()
{
    if (!podeConfirmar()) return;
    const QVariantList valores = registro();
    Query q(m_db);
    q.setSql(Esquema::kInsereVoto);
    for (int i = 0; i < valores.size(); ++i) q.setParam(i, valores[i]);
    q.execSql();
    emit evento(Evento::Confirmado);
}
