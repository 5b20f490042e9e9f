// Redaction: which originals give way to which stand-ins, what stays, and the same result
// whether a text is redacted whole or streamed in pieces.
#include "redaction.h"
#include "zipassembler.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const Identity machine{{"camlab-pc", "CAMLAB-PC"},
                       {"corp.example.org"},
                       {"alice", "bob"},
                       {"/srv/people/alice.smith", "C:\\Users\\bob", "/"}};

// Reads the redacted entry of `text` as the ZIP writer reads it, in pieces of `piece` bytes.
QByteArray streamed(Redactor &redactor, const QByteArray &text, uint32_t piece = 1000)
{
    QTemporaryFile file;
    EXPECT_TRUE(file.open());
    file.write(text);
    file.flush();
    const SharedFile stream = shared(openPlainFile(file.fileName(), false));
    RedactedSource source(stream, redactor);
    const ZipAssemblerReader *reader = source.reader();
    QByteArray out;
    EXPECT_TRUE(reader->rewind(reader->context));
    QByteArray buffer(int(piece), '\0');
    for (uint32_t got; (got = reader->read(reader->context, reinterpret_cast<uint8_t *>(buffer.data()), piece)) > 0;)
        out += buffer.left(int(got));
    return out;
}

} // namespace

TEST(Redaction, replacesNamesAddressesAndDevicesAndKeepsWhatTellsNothing)
{
    Redactor redactor(machine);
    const QByteArray text =
        "host camlab-pc.corp.example.org (CAMLAB-PC) user alice, Alice's file /srv/people/alice.smith/x.log\n"
        "C:\\Users\\bob\\AppData and C:/Users/bob/AppData; alicebob alice_x alice-x\n"
        "ip 192.168.10.5 and 192.168.10.77, other 10.1.2.3:8080; dotted 1.2.3.4.5 v1.2.3.4\n"
        "v6 2a02:1234:5678:9abc:21a:2bff:fe3c:4d5e and [2a02:1234:5678:9abc::1]:80 next 2a02:1234:5678:9abd::1.\n"
        "link fe80::21a:2bff:fe3c:4d5e%eth0 mapped ::ffff:192.0.2.1\n"
        "mac 00:1A:2B:3C:4D:5E / 00-1a-2b-3c-4d-5f / 00:1a:2b:3c:4d:5e\n"
        "kept 127.0.0.1 ::1 :: 0.0.0.0 255.255.255.0 255.255.0.0 12:30:45 std::string a::b 1:2:3 0a:1b:2c:3d:4e:5f:60\n";
    const QByteArray expected =
        "host host1.domain1.example (host1) user user1, user1's file /home/user-home1/x.log\n"
        "C:\\Users\\user-home2\\AppData and C:/Users/user-home2/AppData; alicebob alice_x alice-x\n"
        "ip 240.0.1.5 and 240.0.1.77, other 240.0.2.3:8080; dotted 1.2.3.4.5 v1.2.3.4\n"
        "v6 2001:db8:0:1::1 and [2001:db8:0:1::2]:80 next 2001:db8:0:2::2.\n"
        "link fe80::1%eth0 mapped ::3\n"
        "mac 00:1A:2B:00:00:01 / 00-1a-2b-00-00-02 / 00:1a:2b:00:00:01\n"
        "kept 127.0.0.1 ::1 :: 0.0.0.0 255.255.255.0 255.255.0.0 12:30:45 std::string a::b 1:2:3 0a:1b:2c:3d:4e:5f:60\n";
    EXPECT_EQ(redactor.redacted(text).toStdString(), expected.toStdString());

    const QByteArray mapping = redactor.mapping();
    for (const char *line : {"host1\tcamlab-pc\n", "domain1.example\tcorp.example.org\n", "user2\tbob\n",
                             "/home/user-home1\t/srv/people/alice.smith\n", "C:\\Users\\user-home2\tC:\\Users\\bob\n",
                             "240.0.1.0/24\t192.168.10.0/24\n", "2001:db8:0:1::/64\t2a02:1234:5678:9abc::/64\n",
                             "::1\t::21a:2bff:fe3c:4d5e\n", "00:1A:2B:00:00:01\t00:1A:2B:3C:4D:5E\n"})
        EXPECT_TRUE(mapping.contains(line)) << line << " not in\n" << mapping.toStdString();
    EXPECT_FALSE(mapping.contains("\t/\n")) << "a home of one part is no name";
    EXPECT_TRUE(redactor.counts().isEmpty()) << "a whole text is redacted without counting";
}

// An entry read in pieces comes out as the whole text redacted, with addresses and names across
// every boundary of the file's reads; two entries share their stand-ins, and only complete
// readings count, once each.
TEST(Redaction, streamedEntriesMatchTheWholeTextAndShareTheirStandIns)
{
    QByteArray text;
    for (int line = 0; text.size() < 400'000; ++line)
        text += QByteArray(line % 61, '.') + " camlab-pc 192.168." + QByteArray::number(line % 7) + ".9 fe80::" +
                QByteArray::number(line % 5) + ":1 00:1a:2b:3c:4d:" + QByteArray::number(10 + line % 9) + "\n";
    Redactor whole(machine);
    const QByteArray expected = whole.redacted(text);
    Redactor redactor(machine);
    for (const uint32_t piece : {1u, 4096u, 65536u, 100'000u})
        EXPECT_EQ(streamed(redactor, text, piece), expected) << piece;
    EXPECT_FALSE(expected.contains("192.168.")) << "every address across every boundary";
    EXPECT_FALSE(expected.contains("camlab"));

    const QMap<QString, quint64> counts = redactor.counts();
    const quint64 lines = quint64(text.count('\n'));
    EXPECT_EQ(counts.value("host name"), 4 * lines);
    EXPECT_EQ(counts.value("IPv4 address"), 4 * lines);
    EXPECT_EQ(counts.value("MAC address"), 4 * lines);
    EXPECT_EQ(counts.value("IPv6 address"), 4 * lines);
}

// A second reading of the same entry (the writer may read an entry twice) counts only once.
TEST(Redaction, rereadEntryCountsOnce)
{
    Redactor redactor(machine);
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write("bob at 10.0.0.1\n");
    file.flush();
    RedactedSource source(shared(openPlainFile(file.fileName(), false)), redactor);
    const ZipAssemblerReader *reader = source.reader();
    uint8_t buffer[100];
    for (int reading = 0; reading < 2; ++reading) {
        ASSERT_TRUE(reader->rewind(reader->context));
        QByteArray out;
        for (uint32_t got; (got = reader->read(reader->context, buffer, sizeof buffer)) > 0;)
            out += QByteArray(reinterpret_cast<const char *>(buffer), int(got));
        EXPECT_EQ(out, "user2 at 240.0.1.1\n");
    }
    EXPECT_EQ(redactor.counts(), (QMap<QString, quint64>{{"user name", 1}, {"IPv4 address", 1}}));
}

// Which texts count as IPv6 addresses: every written form of one, and nothing that only looks
// like one.
TEST(Redaction, takesEveryFormOfAnIpv6AddressAndNothingElse)
{
    for (const char *address : {"2a02:1:2:3:4:5:6:7", "2a02:1::", "::2a02:1", "2a02:1:2:3:4:5:1.2.3.4", "::1.2.3.4",
                                "2A02:DB8:0:0:1::9", "2a02::1:0:0:1"}) {
        Redactor redactor(machine);
        EXPECT_FALSE(redactor.redacted(QByteArray("at ") + address + " ok").contains(address)) << address;
    }
    for (const char *text : {"1:2:3:4:5:6:7:8:9", "1::2::3", "12345::1", "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8.1",
                             "::1.2.3", "::1.2.3.4.5", "::256.1.1.1", "1:2:3:4:5:6:7:1.2.3.4", "ab::cd", "::g1"}) {
        Redactor redactor(machine);
        EXPECT_EQ(redactor.redacted(QByteArray("at ") + text + " ok"), QByteArray("at ") + text + " ok") << text;
    }
    // Behind a word or a dotted number, a separator does not hide the next address.
    Redactor redactor(machine);
    EXPECT_EQ(redactor.redacted("range 10.1.2.3-10.1.2.4 MAC:10.1.2.5 ip:fe80::7"),
              "range 240.0.1.3-240.0.1.4 MAC:240.0.1.5 ip:fe80::1");
}
