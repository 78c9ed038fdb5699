// libFuzzer target: bytes of every kind handed to the bulletin reader, as the
// totals hand it any file. The reader must answer with a bulletin or a refusal
// (std::runtime_error), never crash, hang or read out of bounds; a bulletin it
// accepts must add up and carry fingerprints that match its texts.

#include "apuracao/apuracao.h"
#include "apuracao/assinatura.h"
#include "apuracao/boletim.h"
#include "apuracao/eleicao.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        Apuracao::Resultado r;
        const Apuracao::Boletim b = Apuracao::leBoletim(bytes, true, &r);
        // An accepted result is canonical: written again, it is the very text read.
        if (Apuracao::textoCanonico(r) != b.textoResultado) __builtin_trap();
        if (r.dia != b.dia) __builtin_trap();
        if (Apuracao::sha256(b.textoEleicao) != b.digitalEleicao) __builtin_trap();
        if (Apuracao::textoEleicao(Apuracao::leTextoEleicao(b.textoEleicao)) != b.textoEleicao) __builtin_trap();
        if (b.assinado.size() >= bytes.size() || b.assinatura.size() != 64) __builtin_trap();
    } catch (const std::runtime_error &) {
    }
    return 0;
}
