#!/usr/bin/env python3
"""Writes a corpus of real-looking text for the redaction check: server logs, network listings,
account records, camera logs and a Windows network report of a machine named cam-line7 in
plant.acme-optics.example with the accounts jkowalski (Jan Kowalski) and anna.schmidt (Anna
Schmidt). Beside the files, truth.json lists what must be replaced, by kind, and what must stay.
Usage: redaction_corpus.py FOLDER [MEGABYTES]"""
import json
import os
import random
import sys

folder = sys.argv[1]
megabytes = float(sys.argv[2]) if len(sys.argv) > 2 else 1.2
os.makedirs(folder, exist_ok=True)
rng = random.Random(28)

HOST, DOMAIN = "cam-line7", "plant.acme-optics.example"
USERS = [("jkowalski", "Jan Kowalski"), ("anna.schmidt", "Anna Schmidt")]
own4 = "192.168.10.21"
net4 = ["192.168.10.%d" % i for i in (1, 22, 23, 40, 77)] + ["10.5.32.26", "172.20.4.9", "93.143.146.237",
                                                             "198.51.100.215"]
own_mac = "00:1b:21:3c:4d:5e"
macs = ["00:30:53:2a:1b:2c", "08:00:2b:a1:11:31", "3c:97:0e:12:ab:cd"]
net6 = ["2a02:8071:b2c0:4e00:21b:21ff:fe3c:4d5e", "fd00:7:1::15", "dead:beef::cafe"]
link6 = "fe80::21b:21ff:fe3c:4d5e"

truth = {"leak": {"host name": [HOST], "domain": [DOMAIN, "acme-optics.example"],
                  "user name": [u for u, _ in USERS], "full name": [n for _, n in USERS],
                  "IPv4 address": [own4] + net4, "IPv6 address": net6 + [link6],
                  "MAC address": [own_mac] + macs},
         # Notations of the same originals, checked as written.
         "forms": {"IPv4 address": ["192-168-10-21", "0xC0A80A15", "3232238101", "93-143-146-237"],
                   "MAC address": ["001B213C4D5E", "0030.532a.1b2c", "0:1b:21:3c:4d:5e", "0x532A1B2C",
                                   "00-1B-21-3C-4D-5E"],
                   "home folder": ["JKOWAL~1"]},
         "keep": ["zel.sdk 4.12.0.3", "firmware 1.4.22.7", "driver 2.2.1.0", "1.3.239.0-1", "ff:ff:ff:ff:ff:ff",
                  "00:00:00:00:00:00", "127.0.0.1", "255.255.255.0", "fe80::/64", "::1", "1000:1000::/home",
                  "01:00:5e:00:00:fb", "0.0.0.0/0", "Version 6.1.7601.24545", "12:30:45", "std::string"]}


def stamp(i):
    return "Dec  8 %02d:%02d:%02d" % (i // 3600 % 24, i // 60 % 60, i % 60)


def server(i):
    user, name = USERS[i % 2]
    ip = rng.choice(net4)
    port = rng.randint(1024, 65535)
    lines = [
        "%s %s sshd[%d]: Accepted publickey for %s from %s port %d ssh2" % (stamp(i), HOST, 900 + i % 97, user, ip, port),
        "%s %s sshd[%d]: Connection from ::ffff:%s:%d on port 22" % (stamp(i), HOST, 900 + i % 89, ip, port),
        "%s %s dhclient[612]: DHCPACK of %s from %s" % (stamp(i), HOST, own4, net4[0]),
        "%s %s systemd[1]: Mounting home-%s.mount - /home/%s..." % (stamp(i), HOST, user, user),
        "%s %s kernel: [%d.%06d] e1000e 0000:00:19.0 eth0: NIC Link is Up 1000 Mbps Full Duplex" % (
            stamp(i), HOST, i, i * 7 % 1000000),
        "%s %s gdm-password]: pam_unix(gdm-password:session): session opened for user %s(uid=1000)" % (
            stamp(i), HOST, user),
        "%s %s nginx: %s - - [08/Dec/2026:10:12:01 +0000] \"GET /files?path=%%2Fhome%%2F%s%%2Fshots HTTP/1.1\" 200 512" % (
            stamp(i), HOST, ip, user),
        "%s %s zel-agent[%d]: zel.sdk 4.12.0.3 started on %s.%s by %s" % (stamp(i), HOST, 1200 + i % 50, HOST, DOMAIN, name),
        "%s %s named[455]: client @0x7f3a %s#%d (license.acme-optics.example): query" % (stamp(i), HOST, ip, port),
        "%s %s CRON[%d]: (%s_old) CMD (run-parts /etc/cron.hourly) std::string 12:30:45" % (stamp(i), HOST, 3000 + i % 99, user),
    ]
    return lines[i % len(lines)]


def network(i):
    ip = net4[i % len(net4)]
    mac = macs[i % len(macs)]
    lines = [
        "2: eth0: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc fq_codel state UP",
        "    link/ether %s brd ff:ff:ff:ff:ff:ff" % own_mac,
        "    inet %s/24 brd 192.168.10.255 scope global dynamic eth0" % own4,
        "    inet 10.5.32.26/20 brd 10.5.47.255 scope global eth1",
        "    inet6 %s/64 scope global dynamic mngtmpaddr" % net6[0],
        "    inet6 %s/64 scope link" % link6,
        "1: lo: inet 127.0.0.1/8 scope host lo, inet6 ::1/128, link/loopback 00:00:00:00:00:00",
        "default via 192.168.10.1 dev eth0 proto dhcp src %s metric 100" % own4,
        "10.0.0.0/8 via 10.5.32.1 dev eth1 netmask 255.255.255.0",
        "fd00::/64 dev eth0 proto kernel metric 256 pref medium",
        "fe80::/64 dev eth0 proto kernel metric 256 pref medium",
        "%s dev eth0 lladdr %s REACHABLE" % (ip, mac),
        "? (%s) at %s [ether] on eth0" % (ip, mac),
        "10:12:01.%06d IP %s.%d > %s.53: 1234+ A? license.acme-optics.example. (45)" % (i, own4, 3956 + i % 100, net4[0]),
        "10:12:01.%06d IP6 %s.546 > ff02::1:2.547: dhcp6 solicit" % (i, link6),
        " 10    0030.532a.1b2c    DYNAMIC     Gi0/%d" % (i % 48),
        "search %s acme-optics.example" % DOMAIN,
        "%s %s.%s %s" % (own4, HOST, DOMAIN, HOST),
        "arp who-has %s tell %s, hardware 1:08:00:2b:a1:11:31" % (ip, own4),
        "peer ip-192-168-10-21.%s and 93-143-146-237.adsl.example.net via %s, mdns 01:00:5e:00:00:fb" % (DOMAIN, net6[2]),
        "neighbour %s router 0.0.0.0/0 ping 5...%s" % (net6[1], ip),
    ]
    return lines[i % len(lines)]


def account(i):
    user, name = USERS[i % 2]
    lines = [
        "%s:x:%d:%d:%s,,,:/home/%s:/bin/bash" % (user, 1000 + i % 2, 1000 + i % 2, name, user),
        "cloudsdk:x:1000:1000::/home/cloudsdk:/bin/sh",
        "uid=%d(%s) gid=%d(%s) groups=%d(%s),27(sudo),44(video)" % (1000 + i % 2, user, 1000 + i % 2, user, 1000 + i % 2, user),
        "Login: %-20s Name: %s\nDirectory: /home/%s   Shell: /bin/bash" % (user, name, user),
        "%s pts/%d        %s Tue Dec  8 09:%02d   still logged in" % (user, i % 9, net4[i % len(net4)], i % 60),
    ]
    return lines[i % len(lines)]


def camera(i):
    lines = [
        "[%08d] GevCurrentIPAddress=0xC0A80A15 (3232238101) GevCurrentSubnetMask=0xFFFFFF00" % i,
        "[%08d] GevMACAddressHigh=0x0030 GevMACAddressLow=0x532A1B2C" % i,
        "[%08d] device 00:30:53:2a:1b:2c firmware 1.4.22.7 driver 2.2.1.0 mac=001B213C4D5E" % i,
        "[%08d] recording /home/jkowalski/video/%s_20261208_%04d.avi frame %d exposure %d us" % (i, HOST, i % 2400, i, i % 977),
        "[%08d] stream to %s:%d, %d fps, heartbeat 3000 ms" % (i, net4[i % 4], 5000 + i % 10, 25 + i % 5),
    ]
    return lines[i % len(lines)]


def windows(i):
    lines = [
        "   Host Name . . . . . . . . . . . . : CAM-LINE7",
        "   Primary Dns Suffix  . . . . . . . : %s" % DOMAIN,
        "   Physical Address. . . . . . . . . : 00-1B-21-3C-4D-5E",
        "   DHCPv6 Client DUID. . . . . . . . : 00-01-00-01-2C-5F-11-22-00-1B-21-3C-4D-5E",
        "   Link-local IPv6 Address . . . . . : %s%%12(Preferred)" % link6,
        "   IPv4 Address. . . . . . . . . . . : %s(Preferred)" % own4,
        "   Subnet Mask . . . . . . . . . . . : 255.255.255.0",
        "   Description . . . . . . . . . . . : Intel(R) Ethernet Connection, driver 2.2.1.0",
        "User: ACME\\jkowalski profile C:\\Users\\JKOWAL~1\\AppData\\Local\\Temp, Version 6.1.7601.24545",
        "ii  libvulkan1:amd64  1.3.239.0-1  amd64  Vulkan loader library",
    ]
    return lines[i % len(lines)]


kinds = {"server.log": server, "network.txt": network, "accounts.txt": account, "camera.log": camera,
         "windows-network.txt": windows}
share = int(megabytes * 1e6 / len(kinds))
for name, make in kinds.items():
    with open(os.path.join(folder, name), "w") as out:
        i = written = 0
        while written < share:
            line = make(i) + "\n"
            out.write(line)
            written += len(line)
            i += 1
with open(os.path.join(folder, "truth.json"), "w") as out:
    json.dump(truth, out, indent=1)
