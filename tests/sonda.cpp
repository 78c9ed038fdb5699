// A second process for the tests.
//   sonda conecta PASTA  : tries the program's connection; exit 0 when it opened, 3 when refused
//   sonda segura PASTA   : opens the database, prints "pronto" and holds it until stdin closes
//   sonda vota PASTA     : stores one blank vote, prints "gravado" and waits to be killed
#include "data/database.h"
#include "data/query.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) return 2;
    const QString modo = QString::fromLocal8Bit(argv[1]);
    const QString pasta = QString::fromLocal8Bit(argv[2]);
    Database db;
    db.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + pasta +
                           QStringLiteral("/candidatos.mdb;;Mode=Share Deny Read|Share Deny Write;Persist "
                                          "Security Info=False"));
    try {
        db.open();
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
    if (modo == QLatin1String("vota")) {
        Query q(db);
        q.setSql(QStringLiteral("insert into contagem_votacao (id_candidato,numero_candidato,voto,data,legenda,"
                                "id_cargo,id_partido) values (:id_candidato,:numero_candidato,:voto,:data,:legenda,"
                                ":id_cargo,:id_partido)"));
        q.setParam(QStringLiteral("voto"), QStringLiteral("BRANCO"));
        q.setParam(QStringLiteral("data"), QDate::currentDate());
        q.execSql();
        std::printf("gravado\n");
        std::fflush(stdout);
        for (;;) ::pause();
    }
    return 2;
}
