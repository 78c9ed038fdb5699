#pragma once

// The settings a run of the report engine follows: window titles, status lines,
// the print job, the preview's zoom, the destination preselected and which
// choices the output options window offers. Members are named as the settings
// are known (TitleSetup, SystemPrinter.Title, ...); the values here are the
// engine's defaults.

#include <QFlags>
#include <QObject>
#include <QString>

namespace ReportEngine
{

enum class Destination { Printer, Preview, File };

enum class Setup {
    AllowSetup = 0x001, // the output options window is shown before each run
    AllowCopies = 0x002,
    AllowCollate = 0x004,
    AllowDuplex = 0x008,
    AllowDestPreview = 0x010,
    AllowDestPrinter = 0x020,
    AllowDestFile = 0x040,
    AllowPrinterSetup = 0x080,
    AllowPreviewSetup = 0x100,
};
Q_DECLARE_FLAGS(Setups, Setup)
Q_DECLARE_OPERATORS_FOR_FLAGS(Setups)

enum class Option {
    ShowStatus = 0x1,
    AllowPrintFromPreview = 0x2,
    AllowSaveFromPreview = 0x4,
    PreviewModal = 0x8,
};
Q_DECLARE_FLAGS(Options, Option)
Q_DECLARE_OPERATORS_FOR_FLAGS(Options)

// The values themselves, copied whole into each run.
struct EngineValues {
    QString TitleSetup = QStringLiteral("Opções de saída");
    QString TitleStatus = QStringLiteral("Estado do relatório");
    QString TitlePreview = QStringLiteral("Visualização do relatório");
    struct {
        QString StatusFormat = QStringLiteral("Gerando página %p");
    } SystemFiler;
    struct {
        QString StatusFormat = QStringLiteral("Imprimindo página %p");
        QString Title = QStringLiteral("Relatório");
        double ScaleX = 100;
        double ScaleY = 100;
        double UnitsFactor = 1; // the printer's unit in inches; layouts are in millimetres
    } SystemPrinter;
    struct {
        int ZoomFactor = 100;
    } SystemPreview;
    Destination DefaultDest = Destination::Preview;
    Setups SystemSetups = Setups(0x1ff);
    Options SystemOptions = Option::ShowStatus | Option::AllowPrintFromPreview |
                            Option::AllowSaveFromPreview | Option::PreviewModal;
};

// The settings as a component that a data module owns and names.
class EngineSettings : public QObject, public EngineValues
{
    Q_OBJECT
  public:
    explicit EngineSettings(QObject *owner = nullptr) : QObject(owner) {}
};

} // namespace ReportEngine
