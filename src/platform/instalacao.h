#pragma once

#include <QString>

// Every file the program uses is named relative to the executable's folder,
// never to the current directory. Tests point the folder at a temporary one.
namespace Instalacao {

// The folder with its trailing separator.
QString pasta();
void definePasta(const QString &pasta);
QString caminho(const QString &relativo);

inline const QString kSomBip = QStringLiteral("sons/01_beep.wav");
inline const QString kSomConfirma = QStringLiteral("sons/02_confcand.wav");
inline const QString kSomFim = QStringLiteral("sons/03_conffim.wav");
inline const QString kLogo = QStringLiteral("logo_kelvora.bmp");
inline const QString kFotoTerminal = QStringLiteral("foto_tmp1.bmp");

} // namespace Instalacao
