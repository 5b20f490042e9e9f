// Redaction: every notation of every original gives way to its stand-in, what tells nothing
// stays, the same result whether a text is redacted whole or streamed in pieces, and the mapping
// leads back to the originals.
#include "redaction.h"
#include "unredact.h"
#include "zipassembler.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

namespace {

Identity machine()
{
    Identity identity;
    identity.hostNames = {"cam-line7", "dc01"};
    identity.domains = {"plant.company.example", "company.example", "PLANT"};
    identity.users = {"jkowalski", "anna.schmidt"};
    identity.homes = {"/home/jkowalski", "C:\\Users\\JKOWAL~1", "/"};
    identity.fullNames = {"Anna Schmidt"};
    identity.addresses = {"192.168.10.21"};
    identity.macs = {"00:1b:21:3c:4d:5e"};
    return identity;
}

// As the archive does: the whole text learned, then redacted.
QByteArray archived(Redactor &redactor, const QByteArray &text)
{
    redactor.learn(text, 0, true);
    return redactor.redacted(text);
}

struct Row {
    const char *text;
    const char *expected; // null: the text stays as it is
};

void expectRows(const std::vector<Row> &rows)
{
    for (const Row &row : rows) {
        Redactor redactor(machine());
        const QByteArray expected = row.expected ? row.expected : row.text;
        EXPECT_EQ(archived(redactor, row.text).toStdString(), expected.toStdString()) << row.text;
    }
}

// Reads the redacted entry of `text` as the ZIP writer reads it, in pieces of `piece` bytes.
QByteArray streamed(Redactor &redactor, const QByteArray &text, uint32_t piece, qsizetype readSize = 65536)
{
    QTemporaryFile file;
    EXPECT_TRUE(file.open());
    file.write(text);
    file.flush();
    const SharedFile opened = shared(openPlainFile(file.fileName(), false));
    redactor.learnFiles({opened.get()}, readSize);
    RedactedSource source(opened, redactor, readSize);
    const ZipAssemblerReader *reader = source.reader();
    QByteArray out;
    EXPECT_TRUE(reader->rewind(reader->context));
    QByteArray buffer(int(piece), '\0');
    for (uint32_t got; (got = reader->read(reader->context, reinterpret_cast<uint8_t *>(buffer.data()), piece)) > 0;)
        out += buffer.left(int(got));
    return out;
}

QByteArray mappingFile(const Redactor &redactor)
{
    return "# zel.logging: the originals behind the stand-ins of x.redaction.zip.\n# second line\n" + redactor.mapping();
}

} // namespace

// The machine's own 192.168.10.21 is learned first: its network is 240.0.1.0/24, and any
// other network met is 240.0.2.0/24.
TEST(Redaction, ipv4InEveryNotation)
{
    expectRows({
        {"ip-192-168-10-21.plant.company.example", "ip-240-0-1-21.domain1.redacted.invalid"},
        {"peer 93-143-146-237.adsl.example.net up", "peer 240-0-2-237.adsl.example.net up"},
        {"from ::ffff:198.51.100.215:60495 port", "from ::ffff:240.0.2.215:60495 port"},
        {"::ffff:192.168.10.21 and 192.168.10.21", "::ffff:240.0.1.21 and 240.0.1.21"},
        {"IP 192.168.10.21.3956 > 192.168.10.22.53: A?", "IP 240.0.1.21.3956 > 240.0.1.22.53: A?"},
        {"GevCurrentIPAddress=0xC0A80A15 (3232238101)", "GevCurrentIPAddress=0xF0000115 (4026532117)"},
        {"seen 0xc0a80a63 at 10.1.2.3, then 10.1.2.3 as 0x0a010203", "seen 0xc0a80a63 at 240.0.2.3, then 240.0.2.3 as 0xf0000203"},
        {"ping 5...192.168.10.22", "ping 5...240.0.1.22"},
        {"range 10.1.2.3-10.1.2.4 MAC:10.1.2.5", "range 240.0.2.3-240.0.2.4 MAC:240.0.2.5"},
    });
}

TEST(Redaction, ipv4KeepsWhatTellsNothing)
{
    expectRows({
        {"lo 127.0.0.1 any 0.0.0.0/0 mask 255.255.255.0 255.255.240.0 mdns 224.0.0.251 bcast 255.255.255.255", nullptr},
        {"id 10-20-30-40 ok, date 2026-12-08-10", nullptr},
        {"oid 1.2.3.4.5 and 1.2.3.4a", nullptr},
        {"register 0xC0A80A16 (3232238102)", nullptr},
        {"stand-in 240.0.1.21 and ::ffff:240.0.1.21", nullptr},
    });
}

TEST(Redaction, versionsStay)
{
    expectRows({
        {"zel.sdk 4.12.0.3", nullptr},
        {"firmware 1.4.22.7, driver 2.2.1.0", nullptr},
        {"FirmwareVersion=1.2.10.4 Version: 10.0.0.1 (build 6.1.7.60)", nullptr},
        {"ii  libvulkan1 1.3.239.0-1 amd64, 2.1.0.4+dfsg, 1.0.0.2~rc1", nullptr},
        {"server 10.0.0.1", "server 240.0.2.1"},
        {"span 10.0.0.1-10.0.0.9", "span 240.0.2.1-240.0.2.9"},
    });
}

TEST(Redaction, networksKeepTheirShape)
{
    expectRows({
        {"route 10.0.0.0/8 via 10.5.32.0/20 and 172.16.0.0/12", "route 241.0.0.0/8 via 242.0.0.0/20 and 242.16.0.0/12"},
        {"inet 10.5.32.26/20 brd", "inet 240.0.2.26/20 brd"},
        {"net 192.168.10.0/24", "net 240.0.1.0/24"},
        {"fd00::/64 dev eth0 and fd00:1234::/48", "100:0:0:1::/64 dev eth0 and 101:1::/48"},
        {"fe80::/64 dev eth0 fe80::/10 ff02::1 ::1 :: ::/0 2000::/3", nullptr},
    });
}

TEST(Redaction, ipv6InEveryNotation)
{
    expectRows({
        {"peer dead:beef::cafe up", "peer 100::1:100:0:0:1 up"},
        {"at 2a02:1:2:3:4:5:6:7 and [2a02:1:2:3::9]:80", "at 100::1:100:0:0:1 and [100::1:100:0:0:2]:80"},
        {"link fe80::21a:2bff:fe3c:4d5e%eth0", "link fe80::100:0:0:1%eth0"},
        {"IP6 fe80::21a:2bff:fe3c:4d5e.546 > ff02::1:2.547: dhcp6", "IP6 fe80::100:0:0:1.546 > ff02::1:2.547: dhcp6"},
        {"upper 2A02:DB8::1:0:0:1.", "upper 100::1:100:0:0:1."},
    });
}

TEST(Redaction, ipv6KeepsWhatIsNoAddress)
{
    expectRows({
        {"cloudsdk:x:1000:1000::/home/cloudsdk:/bin/sh", nullptr},
        {"12:30:45 std::string a::b ab::cd Face::add 1::2::3 12345::1 1:2:3:4:5:6:7 ::g1", nullptr},
        {"stand-ins 100::1:100:0:0:1 fe80::100:0:0:1", nullptr},
    });
}

// The machine's own 00:1b:21:3c:4d:5e is learned first, as device 1.
TEST(Redaction, macInEveryNotation)
{
    expectRows({
        {"mac=001B213C4D5E 0x001b213c4d5e", "mac=001B21000001 0x001b21000001"},
        {"if 00:1b:21:3c:4d:5e 00-1B-21-3C-4D-5E 0:1b:21:3c:4d:5e", "if 00:1b:21:00:00:01 00-1B-21-00-00-01 0:1b:21:00:00:01"},
        {"cisco 0030.532a.1b2c", "cisco 0030.5300.0002"},
        {"duid 00-01-00-01-2c-5f-11-22-00-1B-21-3C-4D-5E", "duid 00-01-00-01-2c-5f-11-22-00-1B-21-00-00-01"},
        {"arp 1:08:00:2b:a1:11:31 ok", "arp 1:08:00:2b:00:00:02 ok"},
        {"GevMACAddressLow=0x213C4D5E", "GevMACAddressLow=0x21000001"},
        {"cam 00:30:53:2a:1b:2c GevMACAddressLow=0x532A1B2C", "cam 00:30:53:00:00:02 GevMACAddressLow=0x53000002"},
    });
}

TEST(Redaction, macKeepsBroadcastZeroMulticastAndUnknownNumbers)
{
    expectRows({
        {"ff:ff:ff:ff:ff:ff 00:00:00:00:00:00 01:00:5e:00:00:fb 33:33:00:00:00:01", nullptr},
        {"id=0123456789ab 0x0123456789AB low=0x11223344", nullptr},
        {"dump 00:11:22:33:44:55:66:77:88 0a:1b:2c:3d:4e:5f:60", nullptr},
        {"stand-in 00:1b:21:00:00:01", nullptr},
    });
}

TEST(Redaction, namesInsideWords)
{
    expectRows({
        {"path=%2Fhome%2Fjkowalski%2Fx and %5Cjkowalski", "path=%2Fhome%2Fredacted-user1%2Fx and %5Credacted-user1"},
        {"unit home-anna.schmidt.mount", "unit home-redacted-user2.mount"},
        {"jkowalski_old cam-line7_20261208_1821.avi", "redacted-user1_old redacted-host1_20261208_1821.avi"},
        {"CAM-LINE7.plant.company.example license.company.example",
         "redacted-host1.domain1.redacted.invalid license.domain2.redacted.invalid"},
        {"jkowalski:x:1000:1000:Anna Schmidt,,,:/home/jkowalski:/bin/bash",
         "redacted-user1:x:1000:1000:Redacted Person1,,,:/home/redacted-home1:/bin/bash"},
        {"PLANT\\jkowalski C:\\Users\\JKOWAL~1\\AppData", "redacted-domain3\\redacted-user1 C:\\Users\\redacted-home2\\AppData"},
        {"D:\\Users\\JKOWAL~1 and ANNASC~1", "D:\\Users\\redacted-short-user1 and redacted-short-user2"},
    });
}

TEST(Redaction, namesStayInsideLongerWords)
{
    expectRows({{"jkowalskis jkowalski2 xcam-line7 anna.schmidtz cam-line7x", nullptr}});
}

// What the fuzz target found: a stand-in must not join the text around it into a new address.
TEST(Redaction, secondPassChangesNothing)
{
    for (const char *text : {"ip-192-168-10-d:beef::cafe", "58.10.21.3956:dead::ff:ff", "x JKOWAL~1:3::9",
                             "1.2.3.4+00::4 192.168.10.21+00::4", "1:08:00:2b:a1:11:3-00-2c-5f-11-2:21:3c:4d:5e",
                             "Anna Schmidt.2.3.4", "fd00::/6::1 eth0",
                             "0:3b:a1:00:2b:a1:Anna", "/home/jkowalski-2c-5f-11-22-00-1B-21::C-4D-5-1",
                             "f::0-0-0-1-22-00-1", "fe80::0.0.1.3:0",
                             "::501-0-1-c-f-11-20::", "fd00::1501-00-01-2c-5f-11-20::1501-00-01-2c-5f-11-2.1b22",
                             "0-1-c-f-11-22-Anna", "00-1b-21-3c-4d-5e-anna.schmidt", "0-1-c-f-11-22-dc01", "02-1b-21-3c-4d-5e-dc01",
                             "f::0-1-0-1-2-00-1f::", "JKOWAL~1:2:c:4d:c:4d:5",
                             "0:b:1:c:d:5:d:C:\\Users\\JKOWAL~1", "2-C-4-f-11-22-000::2",
                             "c-f-1-2-00-1B:2.0.0.0", "Jkowalski:5::8.1.0.1",
                             "5::/4-8-0-1.m", "2:0:00:2:b:a1:11.plant.company.example",
                             "%2F000:1c:21:3c:4d:21:3c:4d:5e", "1.3.239.0+b11::a", "%5C000::F"}) {
        Redactor redactor(machine());
        const QByteArray once = archived(redactor, text);
        EXPECT_EQ(redactor.redacted(once).toStdString(), once.toStdString()) << text;
    }
}

// An entry read in pieces comes out as the whole text redacted, with addresses and names across
// every boundary of the file's reads; two entries share their stand-ins, and only complete
// readings count, once each.
TEST(Redaction, streamedEntriesMatchTheWholeTextAndShareTheirStandIns)
{
    QByteArray text;
    for (int line = 0; text.size() < 300'000; ++line)
        text += QByteArray(line % 61, '.') + " cam-line7 192.168." + QByteArray::number(line % 7) + ".9 fe80::" +
                QByteArray::number(line % 5) + ":1 00:1b:21:3c:4d:" + QByteArray::number(10 + line % 9) +
                " 0xC0A80A15 ip-10-0-0-" + QByteArray::number(line % 200) + ".x firmware 1.4.22." +
                QByteArray::number(line % 13) + " 5...10.0.0.1 ::ffff:10.0.0.2.\n";
    Redactor whole(machine());
    const QByteArray expected = archived(whole, text);
    Redactor redactor(machine());
    for (const uint32_t piece : {1u, 4096u, 65536u, 100'000u})
        EXPECT_EQ(streamed(redactor, text, piece), expected) << piece;
    // Read in small pieces, every kind of token meets a boundary, what it looks back at too.
    for (const qsizetype readSize : {1, 7, 61, 1000}) {
        Redactor small(machine());
        EXPECT_EQ(streamed(small, text.left(40'000), 4096, readSize), archived(small, text.left(40'000))) << readSize;
    }
    EXPECT_FALSE(expected.contains("192.168.")) << "every address across every boundary";
    EXPECT_FALSE(expected.contains("cam-line7"));
    EXPECT_FALSE(expected.contains("C0A80A15"));

    const QMap<QString, quint64> counts = redactor.counts();
    const quint64 lines = quint64(text.count('\n'));
    EXPECT_EQ(counts.value("host name"), 4 * lines);
    EXPECT_EQ(counts.value("IPv4 address"), 4 * 5 * lines) << "the mapped IPv6 form counts as IPv4";
    EXPECT_EQ(counts.value("MAC address"), 4 * lines);
    EXPECT_EQ(counts.value("IPv6 address"), 4 * lines);
}

// Learned on all cores, many files give the very stand-ins that reading them one after another
// gives: numbered in the files' order, whichever thread ends first, each file left at its start.
TEST(Redaction, filesLearnedTogetherGiveTheStandInsOfOneAfterAnother)
{
    std::vector<QByteArray> texts;
    texts.push_back(QByteArray(400'000, '.') + " 0xC0A80763 10.1.0.0/16 fd00:1::/48\n");
    for (int i = 0; i < 7; ++i)
        texts.push_back("at 10.9." + QByteArray::number(i) + ".1 and 2a02:810d:" + QByteArray::number(i) +
                        "::5 from 02:1b:21:3c:4d:" + QByteArray::number(10 + i) + "\n");
    texts.push_back("peer 192.168.7.99 ::ffff:10.9.3.7 10.1.0.0/16\n");
    Redactor alone(machine());
    for (const QByteArray &text : texts)
        alone.learn(text, 0, true);

    std::vector<std::unique_ptr<QTemporaryFile>> files;
    std::vector<SharedFile> opened;
    std::vector<std::FILE *> learned;
    for (const QByteArray &text : texts) {
        files.push_back(std::make_unique<QTemporaryFile>());
        ASSERT_TRUE(files.back()->open());
        files.back()->write(text);
        files.back()->flush();
        opened.push_back(shared(openPlainFile(files.back()->fileName(), false)));
        learned.push_back(opened.back().get());
    }
    Redactor together(machine());
    together.learnFiles(learned, 4096);
    EXPECT_EQ(together.mapping().toStdString(), alone.mapping().toStdString());
    for (const QByteArray &text : texts)
        EXPECT_EQ(together.redacted(text), alone.redacted(text));
    EXPECT_FALSE(together.redacted(texts[0]).contains("C0A80763")) << "known from the last file";
    for (std::FILE *file : learned)
        EXPECT_EQ(std::ftell(file), 0);
}

// A second reading of the same entry (the writer may read an entry twice) counts only once.
TEST(Redaction, rereadEntryCountsOnce)
{
    Redactor redactor(machine());
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write("anna.schmidt at 10.0.0.1\n");
    file.flush();
    const SharedFile opened = shared(openPlainFile(file.fileName(), false));
    redactor.learnFiles({opened.get()});
    RedactedSource source(opened, redactor);
    const ZipAssemblerReader *reader = source.reader();
    uint8_t buffer[100];
    for (int reading = 0; reading < 2; ++reading) {
        ASSERT_TRUE(reader->rewind(reader->context));
        QByteArray out;
        for (uint32_t got; (got = reader->read(reader->context, buffer, sizeof buffer)) > 0;)
            out += QByteArray(reinterpret_cast<const char *>(buffer), int(got));
        EXPECT_EQ(out, "redacted-user2 at 240.0.2.1\n");
    }
    EXPECT_EQ(redactor.counts(), (QMap<QString, quint64>{{"user name", 1}, {"IPv4 address", 1}}));
}

// Every row of every notation above, redacted, comes back through the mapping as it was.
TEST(Unredaction, restoresEveryNotation)
{
    const QByteArray text =
        "ip-192-168-10-21.plant.company.example 93-143-146-237.adsl.example.net ::ffff:198.51.100.215:60495\n"
        "IP 192.168.10.21.3956 > 192.168.10.22.53: GevCurrentIPAddress=0xC0A80A15 (3232238101) 5...192.168.10.22\n"
        "route 10.0.0.0/8 via 10.5.32.0/20 inet 10.5.32.26/20 fd00::/64 fd00:1234::/48 fe80::/64\n"
        "dead:beef::cafe [2a02:1:2:3::9]:80 fe80::21a:2bff:fe3c:4d5e%eth0 2A02:DB8::1:0:0:1\n"
        "mac=001B213C4D5E 0:1b:21:3c:4d:5e 0030.532a.1b2c 00-01-00-01-2c-5f-11-22-00-1B-21-3C-4D-5E\n"
        "arp 1:08:00:2b:a1:11:31 cam 00:30:53:2a:1b:2c GevMACAddressLow=0x532A1B2C firmware 1.4.22.7\n"
        "%2Fhome%2Fjkowalski home-anna.schmidt.mount cam-line7_20261208_1821.avi license.company.example\n"
        "jkowalski:x:1000:1000:Anna Schmidt,,,:/home/jkowalski:/bin/bash PLANT\\jkowalski C:\\Users\\JKOWAL~1\n";
    Redactor redactor(machine());
    const QByteArray redacted = archived(redactor, text);
    for (const char *original : {"192", "198.51", "93-143", "dead", "cafe", "2a02", "3c:4d:5e", "532a", "a1:11", "C0A8",
                                 "3232238101", "kowalski", "anna", "company", "PLANT", "cam-line7", "JKOWAL"})
        EXPECT_FALSE(redacted.contains(original)) << original << " in\n" << redacted.toStdString();
    QString error;
    const std::unique_ptr<Unredactor> unredactor = Unredactor::fromMapping(mappingFile(redactor), error);
    ASSERT_TRUE(unredactor) << error.toStdString();
    // Letter case comes back where the stand-in has letters to carry it, not from "0x53000002".
    const QByteArray restored = unredactor->restored(redacted);
    EXPECT_EQ(restored.toLower().toStdString(), text.toLower().toStdString());
}

TEST(Unredaction, refusesMappingsThatAreNotOurs)
{
    Redactor redactor(machine());
    const QByteArray good = mappingFile(redactor);
    for (const QByteArray &mapping : QList<QByteArray>
         {QByteArray("host1\tcam-line7\n"), "# zel.logging: x\nhost1\tcam-line7\n", "# zel.logging: x\nredacted-host1 cam\n",
          "# zel.logging: x\n10.0.1.0/24\t192.168.1.0/24\n", "# zel.logging: x\n240.0.1.0/24\tnot an address\n",
          "# zel.logging: x\n2001:db8::/64\tfd00::/64\n", "# other: x\n" + good.mid(good.indexOf('\n') + 1),
          good + "redacted-user9\ta\tb\n"}) {
        QString error;
        EXPECT_FALSE(Unredactor::fromMapping(mapping, error)) << mapping.toStdString();
        EXPECT_TRUE(error.contains("not a redaction mapping")) << error.toStdString();
    }
    QString error;
    EXPECT_TRUE(Unredactor::fromMapping(good, error)) << error.toStdString();
}
