// Results of terminals of the same day added up: by keys of the election, so that
// the same office, candidate, party and legend add up whichever terminal sent them.

#include "apuracao/apuracao.h"

#include <algorithm>

namespace Apuracao
{

namespace
{

QString chaveTexto(const Chave &c)
{
    return c ? QString::number(*c) : QString();
}

QString parTexto(const Chave &cargo, const Chave &candidato)
{
    return chaveTexto(cargo) + u'|' + chaveTexto(candidato);
}

} // namespace

void Soma::adiciona(const Resultado &x)
{
    if (m_algum && x.dia != m_r.dia)
        throw ErroApuracao("Os resultados são de dias diferentes e não podem ser somados");
    if (!m_algum) m_r.dia = x.dia;
    m_algum = true;
    for (const Total &t : x.totais) { // classifica adds them up by kind
        const auto mesmo = std::find_if(m_r.totais.begin(), m_r.totais.end(),
                                        [&t](const Total &s) { return s.voto == t.voto; });
        if (mesmo == m_r.totais.end())
            m_r.totais.append({t.voto, t.votos, {}});
        else
            mesmo->votos += t.votos;
    }
    for (const Cargo &c : x.cargos) {
        const QString k = chaveTexto(c.idCargo);
        if (!m_cargos.contains(k)) {
            m_cargos.insert(k, m_r.cargos.size());
            m_r.cargos.append({c.ordem, c.idCargo, c.cargo, 0, 0, 0, 0, 0});
        }
        Cargo &s = m_r.cargos[m_cargos.value(k)];
        if (!s.ordem) s.ordem = c.ordem;
        s.normal += c.normal;
        s.legenda += c.legenda;
        s.branco += c.branco;
        s.nulo += c.nulo;
        s.total += c.total;
    }
    for (const Colocacao &c : x.ranking) {
        if (c.votos == 0) continue; // worked out again from who stood
        const QString k =
            parTexto(c.idCargo, c.idCandidato) + u'|' + chaveTexto(c.idPartido) + u'|' + c.numero;
        if (!m_ranking.contains(k)) {
            m_ranking.insert(k, m_r.ranking.size());
            Colocacao nova = c;
            nova.votos = 0;
            m_r.ranking.append(nova);
        }
        m_r.ranking[m_ranking.value(k)].votos += c.votos;
    }
    for (const Legenda &l : x.legendas) {
        const QString k = chaveTexto(l.idPartido) + u'|' + l.legenda;
        if (!m_legendas.contains(k)) {
            m_legendas.insert(k, m_r.legendas.size());
            Legenda nova = l;
            nova.votos = 0;
            m_r.legendas.append(nova);
        }
        m_r.legendas[m_legendas.value(k)].votos += l.votos;
    }
    for (const Concorrente &c : x.concorrentes) {
        const QString k = parTexto(c.idCargo, c.idCandidato) + u'|' + chaveTexto(c.idPartido);
        if (m_concorrentes.contains(k)) continue;
        m_concorrentes.insert(k, m_r.concorrentes.size());
        m_r.concorrentes.append(c);
    }
}

Resultado Soma::resultado() const
{
    if (!m_algum) throw ErroApuracao("Nenhum resultado para somar");
    Resultado r = m_r;
    classifica(r);
    return r;
}

Resultado soma(const QList<Resultado> &resultados)
{
    Soma s;
    for (const Resultado &x : resultados)
        s.adiciona(x);
    return s.resultado();
}

} // namespace Apuracao
