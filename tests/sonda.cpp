// A second process for the tests.
//   sonda conecta PASTA  : tries the program's connection; exit 0 when it opened, 3 when refused
//   sonda segura PASTA   : opens the database, prints "pronto" and holds it until stdin closes
//   sonda vota PASTA     : stores one blank vote, prints "gravado" and waits to be killed
//   sonda morre PASTA VOTOS PONTO K
//                        : starts as the program does, stores VOTOS votes (a point "voto"
//                          after each), runs the "FIM" step and, at the K-th time the
//                          secrecy mechanism (or the vote loop) reaches PONTO, prints
//                          "ponto" and waits to be killed; "fim" when it never got there
#include "data/database.h"
#include "data/esquema.h"
#include "data/query.h"
#include "data/sigilo.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3 && argc != 6) return 2;
    const QString modo = QString::fromLocal8Bit(argv[1]);
    const QString pasta = QString::fromLocal8Bit(argv[2]);
    const bool morre = modo == QLatin1String("morre") && argc == 6;
    int falta = morre ? std::atoi(argv[5]) : 0;
    const QByteArray ponto = morre ? QByteArray(argv[4]) : QByteArray();
    const auto chega = [&](const char *p) {
        if (ponto != p || --falta != 0) return;
        std::printf("ponto\n");
        std::fflush(stdout);
        for (;;) ::pause();
    };
    Database db;
    if (morre) {
        Esquema::prepara(db);
        Sigilo::defineObservador(chega);
    }
    db.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + pasta +
                           QStringLiteral("/candidatos.mdb;;Mode=Share Deny Read|Share Deny Write;Persist "
                                          "Security Info=False"));
    try {
        db.open();
        if (morre) Sigilo::abreArquivo(db);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    if (modo == QLatin1String("conecta")) return 0;
    if (modo == QLatin1String("segura")) {
        std::printf("pronto\n");
        std::fflush(stdout);
        char c;
        while (::read(0, &c, 1) > 0) {
        }
        return 0;
    }
    if (morre) {
        for (int i = 0; i < std::atoi(argv[3]); ++i) {
            Query q(db);
            q.setSql(Esquema::kInsereVoto);
            q.setParam(QStringLiteral("voto"), Esquema::kVotoNulo);
            q.setParam(QStringLiteral("data"), QDate::currentDate());
            q.execSql();
            chega("voto");
        }
        Sigilo::encerraCiclo(db);
        std::printf("fim\n");
        std::fflush(stdout);
        for (;;) ::pause();
    }
    if (modo == QLatin1String("vota")) {
        Query q(db);
        q.setSql(Esquema::kInsereVoto);
        q.setParam(QStringLiteral("voto"), QStringLiteral("BRANCO"));
        q.setParam(QStringLiteral("data"), QDate::currentDate());
        q.execSql();
        std::printf("gravado\n");
        std::fflush(stdout);
        for (;;) ::pause();
    }
    return 2;
}
