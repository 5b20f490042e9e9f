// The Linux system report script on stand-in /proc, /sys, /etc and /run folders with stand-in
// tools, and the search for the script itself.
#include "systemtools.h"
#include "testenv.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>

namespace {

void writeFile(const QString &path, const QByteArray &bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
    file.close();
    if (executable)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

struct Report {
    int exitCode = -1;
    QStringList titles;
    QMap<QString, QString> sections; // title -> lines, without the blank line before the next
};

// A stand-in machine: files below `root` in place of /, and PATH holding only `bin`.
class StandInMachine {
public:
    StandInMachine() : root(folder.filePath("root")), bin(folder.filePath("bin"))
    {
        QDir().mkpath(root);
        QDir().mkpath(bin);
    }

    void file(const QString &path, const QByteArray &bytes) const { writeFile(root + path, bytes); }
    void tool(const QString &name, const QByteArray &script) const
    {
        writeFile(bin + "/" + name, "#!/bin/sh\n" + script + "\n", true);
    }
    // A real program of the machine, for the few the script filters with.
    void realTool(const QString &name) const
    {
        const QString program = QStandardPaths::findExecutable(name);
        ASSERT_FALSE(program.isEmpty()) << name.toStdString();
        QFile::link(program, bin + "/" + name);
    }

    Report run(const QStringList &arguments = {}) const
    {
        QProcess script;
        QProcessEnvironment environment;
        environment.insert("PATH", bin);
        environment.insert("ZEL_SYSREPORT_ROOT", root);
        script.setProcessEnvironment(environment);
        script.start(ZEL_SYSREPORT, arguments);
        Report report;
        if (!script.waitForFinished(-1) || script.exitStatus() != QProcess::NormalExit)
            return report;
        report.exitCode = script.exitCode();
        QString title;
        for (const QString &line : QString::fromUtf8(script.readAllStandardOutput()).split('\n')) {
            if (line.startsWith("=== ") && line.endsWith(" ===")) {
                title = line.mid(4, line.size() - 8);
                report.titles << title;
            } else if (!title.isEmpty()) {
                report.sections[title] += line + "\n";
            }
        }
        for (QString &lines : report.sections)
            lines.chop(lines.endsWith("\n\n") ? 1 : 0);
        return report;
    }

    QTemporaryDir folder;
    QString root;
    QString bin;
};

const QStringList reportTitles = {
    "Operating system", "Kernel", "Kernel command line", "Processor", "CPU frequency governor", "Memory",
    "PCI devices", "USB devices", "USB device tree with speeds", "USB buffer memory", "Socket buffers",
    "Network interfaces", "Network ring buffer sizes", "Reverse-path filtering", "Loaded kernel modules",
    "Kernel messages about USB and network links",
};

} // namespace

TEST(SystemReportScript, readsEverySettingFromTheMachine)
{
    StandInMachine machine;
    machine.file("/etc/os-release", "PRETTY_NAME=\"Stand-in\"\nID=standin");
    machine.file("/proc/cmdline", "quiet usbcore.autosuspend=-1\n");
    machine.file("/sys/devices/system/cpu/cpu0/cpufreq/scaling_governor", "performance\n");
    machine.file("/sys/devices/system/cpu/cpu1/cpufreq/scaling_governor", "powersave\n");
    machine.file("/sys/module/usbcore/parameters/usbfs_memory_mb", "1000\n");
    machine.file("/proc/sys/net/core/rmem_max", "33554432\n");
    machine.file("/proc/sys/net/core/rmem_default", "212992\n");
    machine.file("/proc/sys/net/core/wmem_max", "4194304\n");
    machine.file("/proc/sys/net/core/netdev_max_backlog", "1000\n");
    machine.file("/sys/class/net/enp3s0/mtu", "9000\n");
    machine.file("/sys/class/net/enp3s0/device/uevent", "MAJOR=1\nDRIVER=igb\nPCI_ID=8086:1533\n");
    machine.file("/sys/class/net/lo/mtu", "65536\n");
    machine.file("/proc/sys/net/ipv4/conf/all/rp_filter", "2\n");
    machine.file("/proc/sys/net/ipv4/conf/enp3s0/rp_filter", "0\n");
    machine.tool("lspci", "echo \"pci $*\"");
    machine.tool("ethtool", "echo \"rings $*\"");
    // Sixty USB messages, one link message and unrelated ones: the last fifty that matter remain.
    machine.tool("dmesg", "i=0; while [ $i -lt 60 ]; do echo \"usb 1-$i: new device\"; i=$((i + 1)); done\n"
                          "echo 'EXT4-fs (sda1): mounted'\necho 'igb 0000:03:00.0 enp3s0: NIC Link is Up 1000 Mbps'\n"
                          "echo 'NET: Registered PF_NETLINK protocol family'");
    machine.realTool("grep");
    machine.realTool("tail");

    const Report report = machine.run();
    EXPECT_EQ(report.exitCode, 0);
    EXPECT_EQ(report.titles, reportTitles);
    const QMap<QString, QString> expected = {
        {"Operating system", "PRETTY_NAME=\"Stand-in\"\nID=standin\n"},
        {"Kernel command line", "quiet usbcore.autosuspend=-1\n"},
        {"CPU frequency governor", "cpu0 = performance\ncpu1 = powersave\n"},
        {"PCI devices", "pci -nnk\n"},
        {"USB buffer memory", "usbfs_memory_mb = 1000\n"},
        {"Socket buffers", "net.core.rmem_max = 33554432\nnet.core.rmem_default = 212992\n"
                           "net.core.wmem_max = 4194304\nnet.core.netdev_max_backlog = 1000\n"},
        {"Network interfaces", "enp3s0: MTU 9000, driver igb\nlo: MTU 65536, no driver (virtual)\n"},
        {"Network ring buffer sizes", "rings -g enp3s0\n"},
        {"Reverse-path filtering", "net.ipv4.conf.all.rp_filter = 2\nnet.ipv4.conf.enp3s0.rp_filter = 0\n"},
    };
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(report.sections.value(it.key()), it.value()) << it.key().toStdString();

    const QStringList messages = report.sections.value(reportTitles.last()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(messages.size(), 50);
    EXPECT_EQ(messages.first(), "usb 1-11: new device");
    EXPECT_EQ(messages.at(48), "usb 1-59: new device");
    EXPECT_EQ(messages.last(), "igb 0000:03:00.0 enp3s0: NIC Link is Up 1000 Mbps");
}

TEST(SystemReportScript, notesEachMissingToolAndUnreadableValueInOneLine)
{
    StandInMachine machine;
    // An interface without its files, and a kernel that keeps its messages to itself.
    QDir().mkpath(machine.root + "/sys/class/net/eth0/device");
    machine.tool("dmesg", "echo 'dmesg: read kernel buffer failed: Operation not permitted' >&2; exit 1");
    machine.tool("lsmod", "echo 'lsmod: broken' >&2; exit 2");

    const Report report = machine.run();
    EXPECT_EQ(report.exitCode, 0);
    EXPECT_EQ(report.titles, reportTitles);
    const QMap<QString, QString> expected = {
        {"Operating system", "/etc/os-release: not readable\n"},
        {"Kernel", "uname: not installed\n"},
        {"Kernel command line", "/proc/cmdline: not readable\n"},
        {"Processor", "lscpu: not installed\n"},
        {"CPU frequency governor", "no CPU frequency scaling in /sys/devices/system/cpu\n"},
        {"Memory", "free: not installed\n"},
        {"PCI devices", "lspci: not installed\n"},
        {"USB devices", "lsusb: not installed\n"},
        {"USB device tree with speeds", "lsusb: not installed\n"},
        {"USB buffer memory", "usbfs_memory_mb: not readable (/sys/module/usbcore/parameters/usbfs_memory_mb)\n"},
        {"Socket buffers", "net.core.rmem_max: not readable (/proc/sys/net/core/rmem_max)\n"
                           "net.core.rmem_default: not readable (/proc/sys/net/core/rmem_default)\n"
                           "net.core.wmem_max: not readable (/proc/sys/net/core/wmem_max)\n"
                           "net.core.netdev_max_backlog: not readable (/proc/sys/net/core/netdev_max_backlog)\n"},
        {"Network interfaces", "eth0: MTU not readable, driver not readable\n"},
        {"Network ring buffer sizes", "ethtool: not installed\n"},
        {"Reverse-path filtering", "/proc/sys/net/ipv4/conf: not readable\n"},
        {"Loaded kernel modules", "lsmod: broken\nlsmod failed with exit code 2\n"},
        {"Kernel messages about USB and network links",
         "not readable for this user: dmesg: read kernel buffer failed: Operation not permitted\n"},
    };
    for (const QString &title : reportTitles)
        EXPECT_EQ(report.sections.value(title), expected.value(title)) << title.toStdString();
}

TEST(NetworkListingScript, addressesRoutesAndNameServersOrAFailure)
{
    const struct {
        const char *name;
        const char *ip;         // null: not installed
        bool resolved;          // whether systemd-resolved runs
        const char *resolvConf; // null: no /etc/resolv.conf
        int exitCode;
        const char *addresses;
        const char *nameServers;
    } rows[] = {
        {"resolved", "echo \"ip $*\"", true, "nameserver 127.0.0.53\n", 0, "ip -details address show\n",
         "resolvectl --no-pager status\n"},
        {"plain resolv.conf", "echo \"ip $*\"", false, "nameserver 192.0.2.53\n", 0, "ip -details address show\n",
         "nameserver 192.0.2.53\n"},
        {"ip fails", "echo \"ip $*\"; exit 1", false, "nameserver 192.0.2.53\n", 1,
         "ip -details address show\nip failed with exit code 1\n", "nameserver 192.0.2.53\n"},
        {"nothing installed", nullptr, false, nullptr, 0, "ip: not installed\n", "/etc/resolv.conf: not readable\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        StandInMachine machine;
        if (row.ip)
            machine.tool("ip", row.ip);
        machine.tool("resolvectl", "echo \"resolvectl $*\"");
        if (row.resolved)
            QDir().mkpath(machine.root + "/run/systemd/resolve");
        if (row.resolvConf)
            machine.file("/etc/resolv.conf", row.resolvConf);

        const Report report = machine.run({"--network"});
        EXPECT_EQ(report.exitCode, row.exitCode);
        EXPECT_EQ(report.titles, QStringList({"Addresses", "IPv4 routes", "IPv6 routes", "Name servers"}));
        EXPECT_EQ(report.sections.value("Addresses"), row.addresses);
        EXPECT_EQ(report.sections.value("IPv6 routes"), QString(row.addresses).replace("-details address", "-6 route"));
        EXPECT_EQ(report.sections.value("Name servers"), row.nameServers);
    }
}

TEST(HelperSearch, installedFolderThenBesideTheProgramThenPath)
{
    const struct {
        const char *name;
        QStringList holders; // the folders that hold an executable zel-sysreport
        const char *found;   // the folder it is taken from; null: none, the bare name
    } rows[] = {
        {"all three", {"usr/libexec/zel.logging", "usr/bin", "path"}, "usr/libexec/zel.logging"},
        {"beside and on PATH", {"usr/bin", "path"}, "usr/bin"},
        {"on PATH only", {"path"}, "path"},
        {"nowhere", {}, nullptr},
    };
    const QByteArray savedPath = qgetenv("PATH");
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir folder;
        const QString root = folder.path() + "/";
        qputenv("PATH", (root + "path").toUtf8());
        for (const QString &holder : row.holders)
            writeFile(root + holder + "/zel-sysreport", "#!/bin/sh\n", true);
        // A file that cannot be run is passed over.
        if (!row.holders.contains("usr/bin"))
            writeFile(root + "usr/libexec/zel.logging/zel-sysreport", "not a program");
        EXPECT_EQ(findHelper("zel-sysreport", root + "usr/bin"),
                  row.found ? root + row.found + "/zel-sysreport" : QString("zel-sysreport"));
    }
    qputenv("PATH", savedPath);
}
