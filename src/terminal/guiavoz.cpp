#include "terminal/guiavoz.h"

#include "terminal/fala.h"

#include <QTimer>

const QString GuiaVoz::kSemEfeito = QStringLiteral("Tecla sem efeito.");

GuiaVoz::GuiaVoz(Cedula *cedula, std::unique_ptr<SaidaFala> saida, QObject *parent)
    : QObject(parent), m_cedula(cedula), m_saida(std::move(saida))
{
    connect(m_cedula, &Cedula::evento, this, &GuiaVoz::ouve);
}

GuiaVoz::~GuiaVoz() = default;

QString GuiaVoz::anuncioDoCargo() const
{
    const int n = m_cedula->qtd_digitos();
    const QString digite = n == 1   ? QStringLiteral("Digite 1 número.")
                           : n >= 2 ? QStringLiteral("Digite %1 números.").arg(n)
                                    : QStringLiteral("Não há número a digitar: só o voto em branco.");
    return QStringLiteral("Seu voto para %1. %2").arg(m_cedula->cargo(), digite);
}

QString GuiaVoz::resultado() const
{
    const Cedula &c = *m_cedula;
    switch (c.marca()) {
    case Cedula::Marca::Branco:
        return QStringLiteral("Voto em branco.");
    case Cedula::Marca::Nulo:
        return QStringLiteral("Número errado. Voto nulo.");
    case Cedula::Marca::Legenda:
        if (c.titulo() == Cedula::kCandidatoInexistente) return QStringLiteral("Candidato inexistente.");
        return c.mostraPartido() ? QStringLiteral("Voto de legenda. %1.").arg(c.partido()) : QString();
    case Cedula::Marca::Nenhuma:
        if (c.mostraNome())
            return QStringLiteral("Número %1. %2. %3.").arg(c.numero_digitado(), c.nome(), c.partido());
        break;
    }
    return QString();
}

void GuiaVoz::ouve(Cedula::Evento e)
{
    using E = Cedula::Evento;
    // The number a candidate is told with repeats the digit just placed.
    if (e == E::Candidato && m_ultimaFoiDigito) m_partes.removeLast();
    m_ultimaFoiDigito = e == E::Digito;
    switch (e) {
    case E::Cargo:
        acrescenta(anuncioDoCargo());
        break;
    case E::Corrigido:
        acrescenta(QStringLiteral("Corrigido. Digite novamente."));
        break;
    case E::Digito:
        acrescenta(m_cedula->numero_digitado().right(1) + QLatin1Char('.'));
        break;
    case E::Candidato:
    case E::Legenda:
    case E::NumeroErrado:
    case E::CandidatoInexistente:
    case E::Branco:
        acrescenta(resultado());
        break;
    case E::Confirmado:
        // Said together with the next office, or the end, which follow in the same key.
        acrescenta(QStringLiteral("Voto confirmado para %1.").arg(m_cedula->cargo()));
        break;
    case E::Fim:
        acrescenta(QStringLiteral("Fim. Obrigado."));
        break;
    case E::SemEfeito:
        acrescenta(kSemEfeito);
        break;
    }
}

void GuiaVoz::acrescenta(const QString &texto)
{
    if (texto.isEmpty()) return;
    if (m_partes.isEmpty()) QTimer::singleShot(0, this, &GuiaVoz::fala);
    m_partes << texto;
}

void GuiaVoz::fala()
{
    if (m_partes.isEmpty()) return;
    const QString texto = m_partes.join(QLatin1Char(' '));
    m_partes.clear();
    m_ultimaFoiDigito = false;
    m_saida->diz(texto);
}

GuiaVoz::Acao GuiaVoz::acaoDaTecla(int tecla, bool doTecladoNumerico)
{
    switch (tecla) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_NumLock:
    case Qt::Key_CapsLock:
        return Acao::Nenhuma;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Acao::Confirma;
    case Qt::Key_Backspace:
        return Acao::Corrige;
    default:
        break;
    }
    if (tecla >= Qt::Key_0 && tecla <= Qt::Key_9) return Acao::Digito;
    if (!doTecladoNumerico) return Acao::SemEfeito;
    switch (tecla) {
    case Qt::Key_Asterisk:
        return Acao::Branco;
    case Qt::Key_Period:
    case Qt::Key_Comma:  // the decimal key of keypads made for Portuguese
    case Qt::Key_Delete: // the same key with Num Lock off
        return Acao::Repete;
    case Qt::Key_Plus:
        return Acao::MaisRapido;
    case Qt::Key_Minus:
        return Acao::MaisDevagar;
    default:
        return Acao::SemEfeito;
    }
}

void GuiaVoz::repete()
{
    const Cedula &c = *m_cedula;
    if (c.fase() == Cedula::Fase::Fim) {
        acrescenta(QStringLiteral("Fim. Obrigado."));
        return;
    }
    if (c.fase() == Cedula::Fase::SemCargo) {
        acrescenta(QStringLiteral("Não há cargo a votar."));
        return;
    }
    QString digitos = c.numero_digitado().split(QString(), Qt::SkipEmptyParts).join(QLatin1Char(' '));
    if (digitos.isEmpty()) digitos = QStringLiteral("nenhum número");
    acrescenta(QStringLiteral("Seu voto para %1. Digitado: %2. %3").arg(c.cargo(), digitos, resultado()).trimmed());
}

void GuiaVoz::maisRapido()
{
    if (m_velocidade >= 1) {
        acrescenta(QStringLiteral("Velocidade máxima."));
        return;
    }
    m_velocidade = qMin(1.0, m_velocidade + kPasso);
    m_saida->defineVelocidade(m_velocidade);
    acrescenta(QStringLiteral("Mais rápido."));
}

void GuiaVoz::maisDevagar()
{
    if (m_velocidade <= -1) {
        acrescenta(QStringLiteral("Velocidade mínima."));
        return;
    }
    m_velocidade = qMax(-1.0, m_velocidade - kPasso);
    m_saida->defineVelocidade(m_velocidade);
    acrescenta(QStringLiteral("Mais devagar."));
}
