// Writes the terminal's three sounds as 16-bit PCM mono WAV files at 44100 Hz:
// the key beep, the confirm chirp and the long end tone.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace
{

constexpr int kTaxa = 44100;
constexpr double kPi = 3.14159265358979323846;

using Sinal = std::vector<double>;

Sinal silencio(double segundos)
{
    return Sinal(size_t(std::lround(segundos * kTaxa)), 0.0);
}

// Adds a tone starting at inicio. The ramps at both ends keep the speaker from
// clicking; a touch of third harmonic gives the buzzer-like timbre of a keypad.
void tom(Sinal &s, double inicio, double duracao, double freq, double amplitude, double rampa,
         double decaimento = 0.0)
{
    const size_t primeiro = size_t(std::lround(inicio * kTaxa));
    const size_t n = size_t(std::lround(duracao * kTaxa));
    const double nRampa = std::max(1.0, rampa * kTaxa);
    for (size_t i = 0; i < n && primeiro + i < s.size(); ++i) {
        const double t = double(i) / kTaxa;
        double env = amplitude * std::exp(-decaimento * t);
        if (double(i) < nRampa) env *= 0.5 - 0.5 * std::cos(kPi * double(i) / nRampa);
        const double fim = double(n - 1 - i);
        if (fim < nRampa) env *= 0.5 - 0.5 * std::cos(kPi * fim / nRampa);
        const double fase = 2.0 * kPi * freq * t;
        s[primeiro + i] += env * (0.85 * std::sin(fase) + 0.15 * std::sin(3.0 * fase));
    }
}

Sinal beep()
{
    Sinal s = silencio(0.1);
    tom(s, 0.0, 0.1, 1000.0, 0.6, 0.005);
    return s;
}

// A quick run of short beeps going up and back, ending on the highest note.
Sinal confirma()
{
    Sinal s = silencio(0.6);
    const double notas[] = {1480.0, 1976.0, 1480.0, 1976.0, 2350.0};
    const double duracao = 0.08, passo = 0.11;
    for (size_t i = 0; i < std::size(notas); ++i)
        tom(s, double(i) * passo, duracao, notas[i], 0.55, 0.006);
    return s;
}

// One steady tone that fades gently, then closes with a short release.
Sinal fim()
{
    Sinal s = silencio(1.2);
    tom(s, 0.0, 1.2, 1000.0, 0.6, 0.012, 0.9);
    const size_t release = size_t(0.08 * kTaxa);
    for (size_t i = 0; i < release; ++i)
        s[s.size() - 1 - i] *= double(i) / double(release);
    return s;
}

void poe16(std::vector<unsigned char> &b, uint16_t v)
{
    b.push_back(uint8_t(v & 0xff));
    b.push_back(uint8_t(v >> 8));
}

void poe32(std::vector<unsigned char> &b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t((v >> (8 * i)) & 0xff));
}

void poeTexto(std::vector<unsigned char> &b, const char *t)
{
    b.insert(b.end(), t, t + 4);
}

std::vector<unsigned char> wav(const Sinal &s)
{
    const uint32_t dados = uint32_t(s.size() * 2);
    std::vector<unsigned char> b;
    b.reserve(44 + dados);
    poeTexto(b, "RIFF");
    poe32(b, 36 + dados);
    poeTexto(b, "WAVE");
    poeTexto(b, "fmt ");
    poe32(b, 16);
    poe16(b, 1); // PCM
    poe16(b, 1); // mono
    poe32(b, kTaxa);
    poe32(b, kTaxa * 2); // bytes per second
    poe16(b, 2);         // bytes per sample frame
    poe16(b, 16);        // bits per sample
    poeTexto(b, "data");
    poe32(b, dados);
    for (double x : s) {
        const double c = std::clamp(x, -1.0, 1.0);
        poe16(b, uint16_t(int16_t(std::lround(c * 32767.0))));
    }
    return b;
}

// Writes through a temporary name and renames, so a failed run never leaves a
// truncated sound under the final name.
bool grava(const std::filesystem::path &destino, const std::vector<unsigned char> &bytes, std::string &erro)
{
    const std::filesystem::path tmp = destino.string() + ".tmp";
    std::FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        erro = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (!ok) erro = std::strerror(errno);
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        erro = std::strerror(errno);
    }
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(tmp, destino, ec);
        if (ec) {
            ok = false;
            erro = ec.message();
        }
    }
    if (!ok) std::filesystem::remove(tmp, ec);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr,
                     "Uso: gera_sons PASTA\nGrava 01_beep.wav, 02_confcand.wav e 03_conffim.wav na PASTA.\n");
        return 2;
    }
    const std::filesystem::path pasta(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(pasta, ec);
    if (ec) {
        std::fprintf(stderr, "Não foi possível criar a pasta %s: %s\n", pasta.c_str(), ec.message().c_str());
        return 1;
    }
    const struct {
        const char *nome;
        Sinal (*gera)();
    } sons[] = {{"01_beep.wav", beep}, {"02_confcand.wav", confirma}, {"03_conffim.wav", fim}};
    for (const auto &som : sons) {
        const std::filesystem::path destino = pasta / som.nome;
        std::string erro;
        if (!grava(destino, wav(som.gera()), erro)) {
            std::fprintf(stderr, "Não foi possível gravar o arquivo %s: %s\n", destino.c_str(), erro.c_str());
            return 1;
        }
    }
    return 0;
}
