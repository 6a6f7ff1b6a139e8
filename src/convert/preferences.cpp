#include "preferences.h"

#include "convertsettings.h"

#include <QSettings>
#include <QStandardPaths>

#include <type_traits>

namespace {

// The store of organisation "Korvent", application "Reelway", inside one group.
class Store
{
public:
    explicit Store(const char *group) { settings.beginGroup(QLatin1String(group)); }
    ~Store() { settings.endGroup(); }

    QVariant Get(const char *key, const QVariant &fallback) const { return settings.value(QLatin1String(key), fallback); }
    void Set(const char *key, const QVariant &value) { settings.setValue(QLatin1String(key), value); }

private:
    QSettings settings{ QStringLiteral("Korvent"), QStringLiteral("Reelway") };
};

const char *const MainWindowGroup = "MainWindow";
const char *const OptionsGroup = "Settings";

// The record's keys in the order they are read and written; a new field needs one line here.
template <typename Visit>
void VisitConvertKeys(Visit &&visit)
{
    visit("TgtFolder", &ConvertSettings::tgtFolder);
    visit("TgtFormat", &ConvertSettings::tgtFormat);
    visit("TgtID", &ConvertSettings::tgtID);
    visit("Exists", &ConvertSettings::exists);
    visit("Scale", &ConvertSettings::scale);
    visit("ScaleKA", &ConvertSettings::scaleKA);
    visit("ScaleA", &ConvertSettings::scaleA);
    visit("ScaleW", &ConvertSettings::scaleW);
    visit("ScaleH", &ConvertSettings::scaleH);
    visit("ClrEnable", &ConvertSettings::clrEnable);
    visit("ClrB", &ConvertSettings::clrB);
    visit("ClrC", &ConvertSettings::clrC);
    visit("ClrS", &ConvertSettings::clrS);
    visit("ClrG", &ConvertSettings::clrG);
    visit("WTEnable", &ConvertSettings::wtEnable);
    visit("WTContent", &ConvertSettings::wtContent);
    visit("WTFontName", &ConvertSettings::wtFontName);
    visit("WTFontSize", &ConvertSettings::wtFontSize);
    visit("WTFontB", &ConvertSettings::wtFontB);
    visit("WTI", &ConvertSettings::wtFontI);
    visit("WTU", &ConvertSettings::wtFontU);
    visit("WTCR", &ConvertSettings::wtCR);
    visit("WTCG", &ConvertSettings::wtCG);
    visit("WTCB", &ConvertSettings::wtCB);
    visit("WTOpc", &ConvertSettings::wtOpc);
    visit("WTCAlig", &ConvertSettings::wtCAlign);
    visit("WTAlign", &ConvertSettings::wtAlign);
    visit("WTCAlignX", &ConvertSettings::wtCAlignX);
    visit("WTCAlignY", &ConvertSettings::wtCAlignY);
    visit("WIEnable", &ConvertSettings::wiEnable);
    visit("WIFile", &ConvertSettings::wiFile);
    visit("WIScale", &ConvertSettings::wiScale);
    visit("WICAlign", &ConvertSettings::wiCAlign);
    visit("WIAlign", &ConvertSettings::wiAlign);
    visit("WICAlignX", &ConvertSettings::wiCAlignX);
    visit("WICAlignY", &ConvertSettings::wiCAlignY);
    visit("Transform", &ConvertSettings::transform);
    visit("Rotate", &ConvertSettings::rotate);
    visit("RotateDegree", &ConvertSettings::rotateDegree);
    visit("HFlip", &ConvertSettings::hFlip);
    visit("VFlip", &ConvertSettings::vFlip);
    visit("CopyStreams", &ConvertSettings::copyStreams);
}

} // namespace

namespace Preferences {

bool CleanShutdown()
{
    return Store(MainWindowGroup).Get("Closed", true).toBool();
}

void SetCleanShutdown(bool closed)
{
    Store(MainWindowGroup).Set("Closed", closed);
}

QRect WindowGeometry()
{
    const Store store(MainWindowGroup);
    const QVariant size = store.Get("Size", QVariant());
    if (!size.isValid())
        return QRect();
    return QRect(store.Get("Position", QPoint(200, 200)).toPoint(), size.toSize());
}

void SetWindowGeometry(const QRect &geometry)
{
    Store store(MainWindowGroup);
    store.Set("Position", geometry.topLeft());
    store.Set("Size", geometry.size());
}

bool FirstRun()
{
    return Store(MainWindowGroup).Get("FirstRun", true).toBool();
}

void SetFirstRun(bool firstRun)
{
    Store(MainWindowGroup).Set("FirstRun", firstRun);
}

bool ReportCrash()
{
    return Store(OptionsGroup).Get("ReportCrash", true).toBool();
}

void SetReportCrash(bool report)
{
    Store(OptionsGroup).Set("ReportCrash", report);
}

bool ReportCResults()
{
    return Store(OptionsGroup).Get("ReportCResults", true).toBool();
}

void SetReportCResults(bool report)
{
    Store(OptionsGroup).Set("ReportCResults", report);
}

QString SourceFolder()
{
    return Store("SourceFolder").Get("Current", QStandardPaths::writableLocation(QStandardPaths::MoviesLocation)).toString();
}

void SetSourceFolder(const QString &folder)
{
    Store("SourceFolder").Set("Current", folder);
}

QStringList TargetFolders()
{
    const Store store("TgtFolder");
    // Only ten are ever written; a larger count comes from a damaged or hostile file.
    const int count = qBound(0, store.Get("Count", 0).toInt(), MaxTargetFolders);
    QStringList folders;
    for (int i = 0; i < count; ++i)
        folders.append(store.Get(qPrintable(QString::number(i)), QString()).toString());
    return folders;
}

void SetTargetFolders(const QStringList &folders)
{
    Store store("TgtFolder");
    const int count = std::min(int(folders.size()), MaxTargetFolders);
    for (int i = 0; i < count; ++i)
        store.Set(qPrintable(QString::number(i)), folders.at(i));
    store.Set("Count", count);
}

void LoadConvertSettings(ConvertSettings &settings)
{
    // A fresh record holds every default but the folder's.
    ConvertSettings defaults;
    defaults.tgtFolder = QString::fromLatin1(SameAsSourceFile);
    const Store store("CSettings");
    VisitConvertKeys([&](const char *key, auto member) {
        using Field = std::decay_t<decltype(settings.*member)>;
        settings.*member = store.Get(key, defaults.*member).template value<Field>();
    });
    // The dialogs' ranges: a stored size beyond them would render a watermark of any size.
    if (!(settings.wtFontSize >= 1.0 && settings.wtFontSize <= 100.0))
        settings.wtFontSize = defaults.wtFontSize;
    settings.wiScale = qBound(10, settings.wiScale, 500);
}

void SaveConvertSettings(const ConvertSettings &settings)
{
    Store store("CSettings");
    VisitConvertKeys([&](const char *key, auto member) { store.Set(key, settings.*member); });
}

void RecordPlugin(Plugin plugin)
{
    QSettings settings(QStringLiteral("Korvent"), QStringLiteral("Plugins"));
    settings.setValue(plugin == Plugin::FreeImage ? QStringLiteral("FreeImage") : QStringLiteral("FFMPEG"), true);
}

} // namespace Preferences
