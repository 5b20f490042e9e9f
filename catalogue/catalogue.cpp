#include "catalogue.h"

#include "plainfile.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>

const QVector<ComponentEntry> &catalogueEntries()
{
    static const QVector<ComponentEntry> entries = {
        {"zel.devicemgr", {}, {}},
        {"zel.sdk", {"kv4_cam", "zel_conv"}, {"kv4_cam", "zel_conv"}},
        {"zel.recorder", {"zel_recorder"}, {"zel_recorder_param"}},
        {"zel.matlab adaptor", {"zel_imaq_adaptor"}, {"zel_imaq_adaptor_param"}},
        {"zel.interface firewire", {"kv4_1394"}, {"kv4_fw_param"}},
        {"zel.interface cl", {"kv4_cl_me4", "kv4_cl_mtx", "kv4_cl_nat", "kv4_cl_ser"}, {"kv4_cl_param"}},
        {"zel.interface clhs", {"kv4_clhs"}, {"kv4_clhs_param"}},
        {"zel.interface usb", {"kv4_usb"}, {"kv4_usb_param"}},
        {"zel.interface usb3", {"kv4_usb3"}, {"kv4_usb3_param"}},
        {"zel.interface gige", {"kv4_gige", "kv4_gige2"}, {"kv4_gige_param"}},
        {"zel.interface genicam", {"kv4_genicam"}, {"kv4_genicam_param"}},
    };
    return entries;
}

namespace {

const char *const texts[] = {
    QT_TRANSLATE_NOOP("Dialog", "zel.device manager"), QT_TRANSLATE_NOOP("Dialog", "zel.sdk"),
    QT_TRANSLATE_NOOP("Dialog", "zel.recorder"),       QT_TRANSLATE_NOOP("Dialog", "zel.matlab adaptor"),
    QT_TRANSLATE_NOOP("Dialog", "FireWire"),           QT_TRANSLATE_NOOP("Dialog", "Camera Link"),
    QT_TRANSLATE_NOOP("Dialog", "Camera Link HS"),     QT_TRANSLATE_NOOP("Dialog", "USB"),
    QT_TRANSLATE_NOOP("Dialog", "USB3"),               QT_TRANSLATE_NOOP("Dialog", "GigE"),
    QT_TRANSLATE_NOOP("Dialog", "GeniCam")};

} // namespace

const char *const interfaceGroupText = QT_TRANSLATE_NOOP("Dialog", "zel.interface");

const char *componentText(int index)
{
    return index >= 0 && index < int(std::size(texts)) ? texts[index] : "";
}

int findComponent(const QString &name)
{
    const QVector<ComponentEntry> &entries = catalogueEntries();
    for (int i = 0; i < entries.size(); ++i) {
        const QString text = QString::fromLatin1(componentText(i));
        for (const QString &known : {entries.at(i).key, text, QCoreApplication::translate("Dialog", componentText(i))}) {
            if (known.compare(name.trimmed(), Qt::CaseInsensitive) == 0)
                return i;
        }
    }
    return -1;
}

static QStringList joinedPaths(const QString &folder, const QStringList &names, const char *suffix)
{
    QStringList paths;
    for (const QString &name : names)
        paths << folder + name + QLatin1String(suffix);
    return paths;
}

QStringList logPaths(const QString &logPath, const ComponentEntry &entry)
{
    return joinedPaths(logPath, entry.logNames, ".log");
}

QStringList paramPaths(const QString &paramPath, const ComponentEntry &entry)
{
    return joinedPaths(paramPath, entry.paramNames, ".ini");
}

bool isLogging(const HeldFolder *logFolder, const ComponentEntry &entry)
{
    return logFolder && std::any_of(entry.logNames.begin(), entry.logNames.end(), [&](const QString &name) {
               return logFolder->kind(name + QStringLiteral(".log")) == EntryKind::PlainFile;
           });
}
