#pragma once

// Message boxes with the caption "Votarim" and an OK button, and the general
// error report that every event handler runs its body under.

#include <QString>
#include <exception>
#include <stdexcept>
#include <functional>

class QWidget;

namespace Mensagens {

enum class Icone { Informacao, Aviso, Erro };

inline const QString kTitulo = QStringLiteral("Votarim");

// A platform message box; no owner unless one is given.
void mostra(Icone icone, const QString &texto, QWidget *dono = nullptr);

// Tests watch the messages instead of clicking boxes away.
using Observador = std::function<void(Icone, const QString &texto, QWidget *dono)>;
void defineObservador(Observador observador);

// A confirmation box, caption "Votarim", with OK and Cancel; true for OK.
bool confirma(const QString &pergunta);
// Tests answer confirmations instead of clicking them.
using Confirmador = std::function<bool(const QString &pergunta)>;
void defineConfirmador(Confirmador confirmador);

// The error's text with a full stop appended when its last character sorts after the full stop.
QString comPonto(const QString &texto);

// The general error report: the error's text in an error box owned by the active window.
void relataErro(const std::exception &erro);

// Runs a handler's body; an error it raises is reported and goes no further, so
// that no exception ever crosses the event loop.
template<class F>
void protegido(F &&corpo)
{
    try {
        corpo();
    } catch (const std::exception &e) {
        relataErro(e);
    } catch (...) {
        relataErro(std::runtime_error("Erro desconhecido"));
    }
}

} // namespace Mensagens
