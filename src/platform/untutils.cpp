#include "platform/untutils.h"

#include "data/esquema.h"
#include "data/sigilo.h"
#include "platform/instalacao.h"
#include "platform/mensagens.h"
#include "data/ufrmdados.h"

#include <QCoreApplication>

bool banco_conectado = false;

namespace {
bool encerrar = false;
}

void pede_encerramento()
{
    encerrar = true;
    QCoreApplication::quit();
}

bool encerramento_pedido() { return encerrar; }

void desconecta_banco()
{
    delete frmdados;
    frmdados = nullptr;
    banco_conectado = false;
    encerrar = false;
}

void conecta_banco()
{
    if (!frmdados) frmdados = new Tfrmdados(QCoreApplication::instance());
    if (banco_conectado) return;
    try {
        // The folder goes in unquoted: a ";" in it cuts "Data Source" short and the open fails.
        frmdados->conexaoDB.setConnectionString(
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + Instalacao::pasta() +
            Esquema::kArquivoBanco + QStringLiteral(";") +
            QStringLiteral(";Mode=Share Deny Read|Share Deny Write;Persist Security Info=False"));
        frmdados->conexaoDB.open();
        // Before the window shows: a log left by a crash goes into the file, emptied.
        Sigilo::abreArquivo(frmdados->conexaoDB);
        banco_conectado = true;
    } catch (const std::exception &) {
        Mensagens::mostra(Mensagens::Icone::Erro, QStringLiteral("Não foi possivel conectar ao banco de dados !"));
        pede_encerramento();
    }
}
