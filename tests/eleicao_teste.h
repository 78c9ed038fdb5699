#pragma once

// The small election the terminal's tests vote in: offices of every digit count
// (and some whose count is unusable), four parties, and candidates for the edge
// cases of the lookups (a number shorter than its office's, a party gone, a photo
// that is no bitmap, names in HTML).

#include "apoio.h"

// Offices by key: 1 Presidente (2), 2 Senador (3), 3 Deputado Federal (4),
// 4 Deputado Estadual (5), 5 Conselheiro (1), 6 without a digit count, 7 with 9,
// 8 with 0, 9 with -1, 10 with letters, 11 a name in HTML (1).
enum { kPresidente = 1, kSenador, kFederal, kEstadual, kConselheiro, kSemDigitos, kNove, kZero, kMenosUm, kLetras, kHtml };

// Fills the database of the test installation; QVERIFY-style: returns early on a failure.
inline void preencheEleicao(const InstalacaoTeste &inst)
{
    Database seed;
    Esquema::prepara(seed);
    seed.setConnectionString(Database::connectionStringFor(inst.banco()));
    seed.open();
    // The offices table as files made before it required a digit count from 1 to 5.
    executa(seed, "drop table cargo");
    executa(seed, "create table cargo (numcad_cargo integer primary key autoincrement, cargo text, "
                  "quantidade_numeros smallint)");
    for (const auto &[nome, q] : {std::pair<QString, QVariant>{"Presidente", 2},
                                  {"Senador", 3},
                                  {"Deputado Federal", 4},
                                  {"Deputado Estadual", 5},
                                  {"Conselheiro", 1},
                                  {"Sem dígitos", QVariant()},
                                  {"Nove", 9},
                                  {"Zero", 0},
                                  {"Menos um", -1},
                                  {"Letras", "abc"},
                                  {"<font color=#ff0000>Rubro</font>", 1}})
        executa(seed, "insert into cargo (cargo, quantidade_numeros) values (:a, :b)", {nome, q});
    for (const auto &[nome, leg] : {std::pair{"Partido Azul", "13"},
                                    {"Partido Verde", "45"},
                                    {"Partido Roxo", "22"},
                                    {"<font color=#ff0000>Rubro</font>", "77"}})
        executa(seed, "insert into partido (partido, legenda) values (:a, :b)", {nome, leg});
    {
        QFile vermelho(inst.caminho("vermelho.bmp")); // what the "<img>" name would load
        QVERIFY(vermelho.open(QIODevice::WriteOnly) && vermelho.write(bmp(Qt::red)) > 0);
    }
    const QString img = QString("<img src=%1>").arg(inst.caminho("vermelho.bmp"));
    struct C {
        const char *nome, *numero;
        int partido, cargo;
        QVariant foto;
    };
    const C cands[] = {
        {"Ana", "13", 1, kPresidente, {}},
        {"Bruno", "45", 2, kPresidente, {}},
        {"Carla", "451", 2, kSenador, {}},
        {"Davi", "1301", 1, kFederal, {}},
        {"Gil", "130", 1, kFederal, {}}, // shorter than its office's numbers
        {"Eva", "45123", 2, kEstadual, bmp(Qt::red)},
        {"Fabio", "7", 1, kConselheiro, {}},
        {"Órfão", "459", 99, kSenador, {}}, // party gone
        {"Órfã", "88", 99, kPresidente, {}},
        {"Hugo", "452", 2, kSenador, QByteArray("isto nao e um bitmap")},
        {"", "7", 4, kHtml, {}},
    };
    for (const C &c : cands)
        executa(seed,
                "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo, foto) values "
                "(:a,:b,:c,:d,:e)",
                {*c.nome ? QString(c.nome) : img, c.numero, c.partido, c.cargo, c.foto});
    seed.close();
}
