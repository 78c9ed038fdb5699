#include "platform/mensagens.h"

#include <QApplication>
#include <QMessageBox>

namespace {
Mensagens::Observador &observador()
{
    static Mensagens::Observador o;
    return o;
}
} // namespace

namespace Mensagens {

void defineObservador(Observador o) { observador() = std::move(o); }

void mostra(Icone icone, const QString &texto, QWidget *dono)
{
    if (observador()) {
        observador()(icone, texto, dono);
        return;
    }
    const QMessageBox::Icon i = icone == Icone::Informacao ? QMessageBox::Information
                                : icone == Icone::Aviso    ? QMessageBox::Warning
                                                           : QMessageBox::Critical;
    QMessageBox box(i, kTitulo, texto, QMessageBox::Ok, dono);
    box.setTextFormat(Qt::PlainText); // engine messages carry names and paths from the data
    box.exec();
}

QString comPonto(const QString &texto)
{
    if (!texto.isEmpty() && texto.back().unicode() > u'.') return texto + u'.';
    return texto;
}

void relataErro(const std::exception &erro)
{
    mostra(Icone::Erro, comPonto(QString::fromUtf8(erro.what())), QApplication::activeWindow());
}

} // namespace Mensagens
