#include "data/sigilo.h"

#include "data/database.h"
#include "data/esquema.h"

#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <vector>

namespace
{

std::function<void(const char *)> &observador()
{
    static std::function<void(const char *)> o;
    return o;
}

void marca(const char *ponto)
{
    if (observador()) observador()(ponto);
}

// ---- One b-tree page

unsigned le2(const unsigned char *p)
{
    return unsigned(p[0]) << 8 | p[1];
}
void poe2(unsigned char *p, unsigned v)
{
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

// Bytes of the varint at p, 0 when it runs past fim.
int leVarint(const unsigned char *p, const unsigned char *fim, quint64 *valor)
{
    quint64 v = 0;
    for (int i = 0; i < 8; ++i) {
        if (p + i >= fim) return 0;
        v = (v << 7) | (p[i] & 0x7f);
        if (!(p[i] & 0x80)) {
            *valor = v;
            return i + 1;
        }
    }
    if (p + 8 >= fim) return 0;
    *valor = (v << 8) | p[8];
    return 9;
}

constexpr unsigned char kIndiceInterna = 0x02, kTabelaInterna = 0x05, kIndiceFolha = 0x0a,
                        kTabelaFolha = 0x0d;

// The size of a cell as the engine counts it (its local payload, the overflow page
// number, at least 4 bytes); 0 when the cell does not fit before fim.
int tamanhoCelula(unsigned char tipo, const unsigned char *celula, const unsigned char *fim, int usavel)
{
    const unsigned char *p = celula + (tipo == kIndiceInterna || tipo == kTabelaInterna ? 4 : 0);
    quint64 v = 0;
    if (tipo == kTabelaInterna) {
        const int n = leVarint(p, fim, &v);
        return n && p + n <= fim ? int(p + n - celula) : 0;
    }
    int n = leVarint(p, fim, &v);
    if (!n || v > 0x7fffffff) return 0;
    const qint64 carga = qint64(v);
    p += n;
    if (tipo == kTabelaFolha) { // the row id
        n = leVarint(p, fim, &v);
        if (!n) return 0;
        p += n;
    }
    const qint64 maximo = tipo == kTabelaFolha ? usavel - 35 : (qint64(usavel) - 12) * 64 / 255 - 23;
    const qint64 minimo = (qint64(usavel) - 12) * 32 / 255 - 23;
    qint64 tamanho = p - celula;
    if (carga <= maximo) {
        tamanho = std::max<qint64>(tamanho + carga, 4);
    } else {
        qint64 local = minimo + (carga - minimo) % (usavel - 4);
        if (local > maximo) local = minimo;
        tamanho += local + 4;
    }
    return tamanho <= fim - celula ? int(tamanho) : 0;
}

// ---- The file interface that orders pages on their way to the database file

struct ArquivoOrdenado {
    sqlite3_file base;
    sqlite3_file *real;
    bool principal;
    bool cabecalhoLido;
    int tamanhoPagina; // from the file's header: 0 while unknown or not to be touched
    int reservados;
};
// The real file's structure follows ours, aligned for any type.
constexpr int kTamanhoProprio = int((sizeof(ArquivoOrdenado) + 15) & ~size_t(15));

ArquivoOrdenado *de(sqlite3_file *f)
{
    return reinterpret_cast<ArquivoOrdenado *>(f);
}
sqlite3_file *real(sqlite3_file *f)
{
    return de(f)->real;
}

// Reads page size, reserved bytes and the auto-vacuum mark from a file header. Pages
// of a file with pointer-map pages are left alone: those begin with bytes that may
// look like a b-tree page's type.
void leCabecalho(ArquivoOrdenado *a, const unsigned char *h)
{
    a->cabecalhoLido = true;
    a->tamanhoPagina = 0;
    if (std::memcmp(h, "SQLite format 3", 16) != 0) return;
    const unsigned tamanho = le2(h + 16) == 1 ? 65536u : le2(h + 16);
    const bool autoVacuum = h[52] || h[53] || h[54] || h[55];
    if (tamanho < 512 || (tamanho & (tamanho - 1)) || autoVacuum) return;
    a->tamanhoPagina = int(tamanho);
    a->reservados = h[20];
}

int escreve(sqlite3_file *f, const void *dados, int n, sqlite3_int64 posicao)
{
    ArquivoOrdenado *a = de(f);
    const bool pagina = a->principal && n >= 512 && n <= 65536 && !(n & (n - 1)) && posicao % n == 0;
    if (!pagina) return real(f)->pMethods->xWrite(real(f), dados, n, posicao);
    const auto *bytes = static_cast<const unsigned char *>(dados);
    if (posicao == 0) {
        leCabecalho(a, bytes);
    } else if (!a->cabecalhoLido) {
        unsigned char h[100];
        if (real(f)->pMethods->xRead(real(f), h, 100, 0) == SQLITE_OK) leCabecalho(a, h);
    }
    // Overflow and free-list trunk pages begin with a page number: below 2^24 pages its
    // first byte is 0, which no b-tree page type has.
    const sqlite3_int64 numero = posicao / n + 1;
    if (a->tamanhoPagina != n || numero >= (sqlite3_int64(1) << 24))
        return real(f)->pMethods->xWrite(real(f), dados, n, posicao);
    thread_local std::vector<unsigned char> copia;
    copia.assign(bytes, bytes + n);
    if (!Sigilo::ordenaPagina(copia.data(), n, numero == 1 ? 100 : 0, n - a->reservados))
        return real(f)->pMethods->xWrite(real(f), dados, n, posicao);
    const int rc = real(f)->pMethods->xWrite(real(f), copia.data(), n, posicao);
    if (rc == SQLITE_OK) marca("pagina");
    return rc;
}

int fecha(sqlite3_file *f)
{
    const int rc = real(f)->pMethods->xClose(real(f));
    f->pMethods = nullptr;
    return rc;
}

const sqlite3_io_methods kMetodos = {
    3,
    fecha,
    [](sqlite3_file *f, void *d, int n, sqlite3_int64 o) {
        return real(f)->pMethods->xRead(real(f), d, n, o);
    },
    escreve,
    [](sqlite3_file *f, sqlite3_int64 t) { return real(f)->pMethods->xTruncate(real(f), t); },
    [](sqlite3_file *f, int flags) { return real(f)->pMethods->xSync(real(f), flags); },
    [](sqlite3_file *f, sqlite3_int64 *t) { return real(f)->pMethods->xFileSize(real(f), t); },
    [](sqlite3_file *f, int l) { return real(f)->pMethods->xLock(real(f), l); },
    [](sqlite3_file *f, int l) { return real(f)->pMethods->xUnlock(real(f), l); },
    [](sqlite3_file *f, int *r) { return real(f)->pMethods->xCheckReservedLock(real(f), r); },
    [](sqlite3_file *f, int op, void *arg) { return real(f)->pMethods->xFileControl(real(f), op, arg); },
    [](sqlite3_file *f) { return real(f)->pMethods->xSectorSize(real(f)); },
    [](sqlite3_file *f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); },
    [](sqlite3_file *f, int p, int t, int e, void volatile **m) {
        return real(f)->pMethods->xShmMap(real(f), p, t, e, m);
    },
    [](sqlite3_file *f, int o, int n, int flags) {
        return real(f)->pMethods->xShmLock(real(f), o, n, flags);
    },
    [](sqlite3_file *f) { real(f)->pMethods->xShmBarrier(real(f)); },
    [](sqlite3_file *f, int apaga) { return real(f)->pMethods->xShmUnmap(real(f), apaga); },
    [](sqlite3_file *f, sqlite3_int64 o, int n, void **p) {
        return real(f)->pMethods->xFetch(real(f), o, n, p);
    },
    [](sqlite3_file *f, sqlite3_int64 o, void *p) { return real(f)->pMethods->xUnfetch(real(f), o, p); },
};

sqlite3_vfs *abaixo(sqlite3_vfs *v)
{
    return static_cast<sqlite3_vfs *>(v->pAppData);
}

int abre(sqlite3_vfs *vfs, const char *nome, sqlite3_file *f, int flags, int *saida)
{
    ArquivoOrdenado *a = de(f);
    a->real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(f) + kTamanhoProprio);
    a->principal = flags & SQLITE_OPEN_MAIN_DB;
    a->cabecalhoLido = false;
    a->tamanhoPagina = 0;
    a->reservados = 0;
    const int rc = abaixo(vfs)->xOpen(abaixo(vfs), nome, a->real, flags, saida);
    // The engine closes a file whose methods are set, even when its open failed.
    f->pMethods = a->real->pMethods ? &kMetodos : nullptr;
    if (a->real->pMethods && a->real->pMethods->iVersion < 3) {
        a->real->pMethods->xClose(a->real);
        f->pMethods = nullptr;
        return SQLITE_CANTOPEN;
    }
    return rc;
}

sqlite3_vfs *criaVfs()
{
    sqlite3_vfs *base = sqlite3_vfs_find(nullptr);
    static sqlite3_vfs v{};
    v.iVersion = 3;
    v.szOsFile = kTamanhoProprio + base->szOsFile;
    v.mxPathname = base->mxPathname;
    v.zName = "votarim-paginas-ordenadas";
    v.pAppData = base;
    v.xOpen = abre;
    v.xDelete = [](sqlite3_vfs *s, const char *n, int d) { return abaixo(s)->xDelete(abaixo(s), n, d); };
    v.xAccess = [](sqlite3_vfs *s, const char *n, int f, int *r) {
        return abaixo(s)->xAccess(abaixo(s), n, f, r);
    };
    v.xFullPathname = [](sqlite3_vfs *s, const char *n, int t, char *o) {
        return abaixo(s)->xFullPathname(abaixo(s), n, t, o);
    };
    v.xDlOpen = [](sqlite3_vfs *s, const char *n) { return abaixo(s)->xDlOpen(abaixo(s), n); };
    v.xDlError = [](sqlite3_vfs *s, int n, char *m) { abaixo(s)->xDlError(abaixo(s), n, m); };
    v.xDlSym = [](sqlite3_vfs *s, void *h, const char *n) { return abaixo(s)->xDlSym(abaixo(s), h, n); };
    v.xDlClose = [](sqlite3_vfs *s, void *h) { abaixo(s)->xDlClose(abaixo(s), h); };
    v.xRandomness = [](sqlite3_vfs *s, int n, char *o) { return abaixo(s)->xRandomness(abaixo(s), n, o); };
    v.xSleep = [](sqlite3_vfs *s, int us) { return abaixo(s)->xSleep(abaixo(s), us); };
    v.xCurrentTime = [](sqlite3_vfs *s, double *t) { return abaixo(s)->xCurrentTime(abaixo(s), t); };
    v.xGetLastError = [](sqlite3_vfs *s, int n, char *m) {
        return abaixo(s)->xGetLastError(abaixo(s), n, m);
    };
    v.xCurrentTimeInt64 = [](sqlite3_vfs *s, sqlite3_int64 *t) {
        return abaixo(s)->xCurrentTimeInt64(abaixo(s), t);
    };
    v.xSetSystemCall = [](sqlite3_vfs *s, const char *n, sqlite3_syscall_ptr p) {
        return abaixo(s)->xSetSystemCall(abaixo(s), n, p);
    };
    v.xGetSystemCall = [](sqlite3_vfs *s, const char *n) { return abaixo(s)->xGetSystemCall(abaixo(s), n); };
    v.xNextSystemCall = [](sqlite3_vfs *s, const char *n) {
        return abaixo(s)->xNextSystemCall(abaixo(s), n);
    };
    if (sqlite3_vfs_register(&v, 0) != SQLITE_OK) return nullptr;
    return &v;
}

// ---- Start-up and the end of a cycle

qint64 umValor(Database &db, const QString &sql)
{
    Statement st(db, sql);
    return st.step() ? st.column(0).toLongLong() : -1;
}

// The vote table's indexes in the file differ from the program's: the file was written
// before its pages were ordered (such files also lack the day's result indexes).
bool precisaReconstruir(Database &db)
{
    if (umValor(db, QStringLiteral("select count(*) from sqlite_master where type = 'table' and name = "
                                   "'contagem_votacao'")) != 1)
        return false;
    QSet<QString> existentes, esperados;
    Statement st(db, QStringLiteral("select name from sqlite_master where type = 'index' and tbl_name = "
                                    "'contagem_votacao'"));
    while (st.step())
        existentes.insert(st.column(0).toString());
    for (const Esquema::IndiceVotos &i : Esquema::indicesVotos())
        esperados.insert(i.nome);
    return existentes != esperados;
}

// Copies the votes in ascending row id into a new table, which the engine fills page
// after page in key order, with the schema's own statement and name; the old table,
// renamed aside with its indexes and trigger, is dropped, its pages going to the free
// list zeroed (secure_delete).
void reconstroiVotos(Database &db)
{
    const QString colunas = Esquema::colunasVotos();
    Transaction t(db, Transaction::Mode::Immediate);
    const qint64 antes = umValor(db, QStringLiteral("select count(*) from contagem_votacao"));
    db.execScript(QStringLiteral("ALTER TABLE contagem_votacao RENAME TO contagem_votacao_antiga"));
    db.execScript(Esquema::criaTabelaVotos(QStringLiteral("contagem_votacao")));
    db.execScript(QStringLiteral("INSERT INTO contagem_votacao (rowid, %1) SELECT rowid, %1 FROM "
                                 "contagem_votacao_antiga ORDER BY rowid")
                      .arg(colunas));
    if (umValor(db, QStringLiteral("select count(*) from contagem_votacao")) != antes)
        throw DbError(QStringLiteral("A reorganização da tabela de votos não copiou todos os votos"));
    marca("copiada");
    db.execScript(QStringLiteral("DROP TABLE contagem_votacao_antiga"));
    for (const Esquema::IndiceVotos &i : Esquema::indicesVotos())
        db.execScript(i.sql);
    db.execScript(Esquema::gatilhoVotos());
    marca("trocada");
    t.commit();
    marca("reconstruida");
}

void esvaziaLog(Database &db)
{
    db.checkpoint();
    // The pages the engine keeps in memory are the images it wrote, cells in the order
    // they came; read again, they come from the file, ordered.
    sqlite3_db_release_memory(db.handle());
}

} // namespace

namespace Sigilo
{

const char *nomeVfs()
{
    static const sqlite3_vfs *vfs = criaVfs();
    return vfs ? vfs->zName : nullptr;
}

bool ordenaPagina(unsigned char *pagina, int tamanhoPagina, int inicio, int usavel)
{
    if (usavel < 480 || usavel > tamanhoPagina || inicio < 0 || inicio + 12 > usavel) return false;
    unsigned char *h = pagina + inicio;
    const unsigned char tipo = h[0];
    if (tipo != kIndiceInterna && tipo != kTabelaInterna && tipo != kIndiceFolha && tipo != kTabelaFolha)
        return false;
    const int cabecalho = (tipo == kIndiceFolha || tipo == kTabelaFolha) ? 8 : 12;
    const int celulas = int(le2(h + 3));
    const int fimPonteiros = inicio + cabecalho + 2 * celulas;
    const int topo = le2(h + 5) == 0 ? 65536 : int(le2(h + 5));
    if (fimPonteiros > topo || topo > usavel) return false;

    // Every byte from the top of the content area to the end of the usable space is a
    // cell's, a free block's or one of the page's counted fragments, each exactly once.
    std::vector<unsigned char> dono(size_t(usavel - topo), 0);
    const auto ocupa = [&](int de, int tamanho) {
        if (de < topo || tamanho <= 0 || de + tamanho > usavel) return false;
        for (int i = de; i < de + tamanho; ++i)
            if (dono[size_t(i - topo)]++) return false;
        return true;
    };
    struct Celula {
        int posicao, tamanho;
    };
    std::vector<Celula> lista;
    lista.reserve(size_t(celulas));
    for (int i = 0; i < celulas; ++i) {
        const int posicao = int(le2(pagina + inicio + cabecalho + 2 * i));
        if (posicao < topo || posicao >= usavel) return false;
        const int tamanho = tamanhoCelula(tipo, pagina + posicao, pagina + usavel, usavel);
        if (!ocupa(posicao, tamanho)) return false;
        lista.push_back({posicao, tamanho});
    }
    int livre = int(le2(h + 1));
    while (livre) {
        if (livre + 4 > usavel) return false;
        const int proximo = int(le2(pagina + livre));
        if (!ocupa(livre, int(le2(pagina + livre + 2)))) return false;
        if (proximo && proximo <= livre) return false;
        livre = proximo;
    }
    const auto soltos = std::count(dono.begin(), dono.end(), 0);
    if (soltos != h[7]) return false;

    const std::vector<unsigned char> antes(pagina, pagina + usavel);
    int fim = usavel;
    for (int i = 0; i < celulas; ++i) {
        fim -= lista[size_t(i)].tamanho;
        std::memcpy(pagina + fim, antes.data() + lista[size_t(i)].posicao, size_t(lista[size_t(i)].tamanho));
        poe2(pagina + inicio + cabecalho + 2 * i, unsigned(fim));
    }
    std::memset(pagina + fimPonteiros, 0, size_t(fim - fimPonteiros));
    poe2(h + 1, 0);
    poe2(h + 5, fim == 65536 ? 0 : unsigned(fim));
    h[7] = 0;
    return true;
}

void abreArquivo(Database &db)
{
    if (sqlite3_db_readonly(db.handle(), "main") != 0) return;
    try {
        // Deleted cells and freed pages are overwritten with zeros.
        db.execScript(QStringLiteral("PRAGMA secure_delete=ON"));
        esvaziaLog(db);
        if (precisaReconstruir(db)) {
            reconstroiVotos(db);
            esvaziaLog(db);
        }
    } catch (...) {
        db.close();
        throw;
    }
}

void encerraCiclo(Database &db)
{
    esvaziaLog(db);
}

void defineObservador(std::function<void(const char *ponto)> o)
{
    observador() = std::move(o);
}

} // namespace Sigilo
