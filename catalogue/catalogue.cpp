#include "catalogue.h"

#include "plainfile.h"

#include <algorithm>

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

bool isLogging(const QString &logPath, const ComponentEntry &entry)
{
    const QStringList paths = logPaths(logPath, entry);
    return std::any_of(paths.begin(), paths.end(), isPlainFile);
}
