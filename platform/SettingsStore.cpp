#include "platform/SettingsStore.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cfenv>
#include <cmath>
#include <limits>
#include <optional>

namespace orvik {

namespace {

// A hand-edited value with bare commas comes back from QSettings as a list.
QString valueText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

std::optional<double> strictNumber(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString doubleText(double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<long long>(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

SettingsStore::SettingsStore(QString filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
    // The next save rewrites the file from what could be read, so a hand-edited
    // line that could not be read would be gone: keep the file as it was.
    if (settings_->status() == QSettings::FormatError) {
        const QString copy = filePath + QStringLiteral(".unreadable");
        QFile::remove(copy);
        const bool kept = QFile::copy(filePath, copy);
        AddLog(QStringLiteral("Error:SettingsStore:%1 holds lines that cannot be read; they are left out when the "
                              "settings are saved. %2")
                   .arg(filePath, kept ? QStringLiteral("The file as it was is kept as ") + copy
                                       : QStringLiteral("It could not be copied aside.")));
    }
}

SettingsStore::~SettingsStore()
{
    settings_->sync();
}

QString SettingsStore::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/ORVIKSDR/ORVIKSDR.ini");
}

QString SettingsStore::filePath() const
{
    return settings_->fileName();
}

QString SettingsStore::findGroup(const QString& section) const
{
    const QStringList groups = settings_->childGroups();
    for (const QString& g : groups)
        if (g.compare(section, Qt::CaseInsensitive) == 0)
            return g;
    return QString();
}

QString SettingsStore::findKey(const QString& group, const QString& key) const
{
    settings_->beginGroup(group);
    const QStringList keys = settings_->childKeys();
    settings_->endGroup();
    for (const QString& k : keys)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return k;
    return QString();
}

QString SettingsStore::read(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QString group = findGroup(section);
    if (group.isEmpty())
        return defaultValue;
    const QString existing = findKey(group, key);
    if (existing.isEmpty())
        return defaultValue;
    return valueText(settings_->value(group + QLatin1Char('/') + existing));
}

bool SettingsStore::write(const QString& section, const QString& key, const QString& value)
{
    if (section.isEmpty() || key.isEmpty())
        return false;
    QString group = findGroup(section);
    if (group.isEmpty())
        group = section;
    QString existing = findKey(group, key);
    if (existing.isEmpty())
        existing = key;
    settings_->setValue(group + QLatin1Char('/') + existing, value);
    return settings_->status() == QSettings::NoError;
}

bool SettingsStore::readBool(const QString& section, const QString& key, bool defaultValue) const
{
    const QString text = read(section, key, QString()).trimmed();
    if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto v = strictNumber(text))
        return *v != 0.0;
    return defaultValue;
}

int32_t SettingsStore::readInt(const QString& section, const QString& key, int32_t defaultValue) const
{
    const auto v = strictNumber(read(section, key, QString()));
    if (!v)
        return defaultValue;
    // Stored fractions convert half to even, as the design's integer conversion does.
    const int oldMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(*v);
    std::fesetround(oldMode);
    if (r < static_cast<double>(std::numeric_limits<int32_t>::min())
        || r > static_cast<double>(std::numeric_limits<int32_t>::max()))
        return defaultValue;
    return static_cast<int32_t>(r);
}

double SettingsStore::readDouble(const QString& section, const QString& key, double defaultValue) const
{
    const auto v = strictNumber(read(section, key, QString()));
    return v ? *v : defaultValue;
}

void SettingsStore::writeBool(const QString& section, const QString& key, bool value)
{
    write(section, key, value ? QStringLiteral("True") : QStringLiteral("False"));
}

void SettingsStore::writeInt(const QString& section, const QString& key, int32_t value)
{
    write(section, key, QString::number(value));
}

void SettingsStore::writeDouble(const QString& section, const QString& key, double value)
{
    write(section, key, doubleText(value));
}

bool SettingsStore::sync()
{
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

} // namespace orvik
