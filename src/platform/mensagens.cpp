#include "platform/mensagens.h"

#include <QApplication>
#include <QMessageBox>

namespace {
Mensagens::Observador &observador()
{
    static Mensagens::Observador o;
    return o;
}
Mensagens::Confirmador &confirmador()
{
    static Mensagens::Confirmador c;
    return c;
}
} // namespace

namespace Mensagens {

void defineObservador(Observador o) { observador() = std::move(o); }
void defineConfirmador(Confirmador c) { confirmador() = std::move(c); }

bool confirma(const QString &pergunta)
{
    if (confirmador()) return confirmador()(pergunta);
    QMessageBox box(QMessageBox::Question, kTitulo, pergunta, QMessageBox::Ok | QMessageBox::Cancel);
    // A stray Enter keeps the record: what this box guards cannot be undone.
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

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
