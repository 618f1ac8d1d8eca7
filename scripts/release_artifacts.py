#!/usr/bin/env python3
"""Writes the release artifacts beside a packed installer.

usage:
  release_artifacts.py INSTALLER --version VERSION --release-url URL --web-site URL

For INSTALLER (for example .../orvek-setup-v6.15.1.exe) it writes
  INSTALLER.sha256            its SHA-256 in the format `sha256sum -c` reads
  <INSTALLER without .exe>.manifest/
    Orvek.TeacherClient.yaml                  the package manager's version file
    Orvek.TeacherClient.installer.yaml        the installer file
    Orvek.TeacherClient.locale.zh-CN.yaml     the default-locale file
a manifest set (format 1.12.0) with which the Windows package manager installs
the release: `--manifest <folder>`.

VERSION is the packed version ("v6.15.1"); --release-url is the folder the
installer is downloaded from (ORVEK_RELEASE_URL, the installer's file name is
appended); --web-site is ORVEK_WEB_SITE (publisher, licence and download pages).

The manifest states what the installer does; keep it in step with
  src/app/setup_switches.h   the switches (scope: /ALLUSERS, /CURRENTUSER)
  src/app/exit_code.h        the codes and the README's table of them
  src/system/registration/   the uninstall entry's name, publisher and
                             DisplayVersion, and its key
"""

import argparse
import hashlib
import json
import os
import struct
import sys

PACKAGE_ID = "Orvek.TeacherClient"
LOCALE = "zh-CN"
MANIFEST_VERSION = "1.12.0"
# The uninstall entry: its key's name is what the package manager matches.
PRODUCT_CODE = "orvek-teacher"
DISPLAY_NAME = "Orvek教师客户端"
PUBLISHER = "Orvek教育科技股份有限公司"

# Exit codes with a response the package manager knows; every other non-zero
# code is a failure. 1618, 4601 and 4607 only mean "try again later".
RETURN_CODES = [
    (1618, "installInProgress", "another installation of this installer is in progress"),
    (4601, "packageInUse", "the client is running; close it and run again"),
    (4602, "diskFull", "too little disk space on the target drive or on the drive of %TEMP%"),
    (4607, "fileInUse", "a file of the earlier installation is held open; nothing was changed"),
    (1639, "invalidParameter", "bad command line"),
    (1150, "systemNotSupported", "Windows too old (XP and older)"),
    (4605, "custom", "this package is retired by the version service; download the current one"),
]

MACHINES = {0x014C: "x86", 0x8664: "x64"}


def text(value):
    """A YAML scalar: JSON's quoted strings are YAML's double-quoted ones."""
    return json.dumps(value, ensure_ascii=False) if isinstance(value, str) else str(value)


def architecture(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    (pe_offset,) = struct.unpack_from("<I", head, 0x3C)
    if head[pe_offset:pe_offset + 4] != b"PE\0\0":
        sys.exit("release_artifacts: %s is not a PE image" % path)
    (machine,) = struct.unpack_from("<H", head, pe_offset + 4)
    if machine not in MACHINES:
        sys.exit("release_artifacts: unknown machine 0x%04x in %s" % (machine, path))
    return MACHINES[machine]


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def write(path, lines):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("# Written by scripts/release_artifacts.py when the installer was packed.\n")
        f.write("\n".join(lines) + "\n")


def header(version):
    return ["PackageIdentifier: " + PACKAGE_ID, "PackageVersion: " + text(version)]


def footer(kind):
    return ["ManifestType: " + kind, "ManifestVersion: " + MANIFEST_VERSION]


def installer_lines(args, version, digest, arch):
    url = args.release_url + "/" + os.path.basename(args.installer)
    lines = header(version) + [
        "InstallerType: exe",
        "ElevationRequirement: elevatesSelf",
        # An upgrade is an installation over the earlier one, which the
        # installer finds and replaces itself.
        "UpgradeBehavior: install",
        "ProductCode: " + text(PRODUCT_CODE),
        "AppsAndFeaturesEntries:",
        "- DisplayName: " + text(DISPLAY_NAME),
        "  Publisher: " + text(PUBLISHER),
        "  DisplayVersion: " + text(version),
        "  ProductCode: " + text(PRODUCT_CODE),
        "ExpectedReturnCodes:",
    ]
    for code, response, meaning in RETURN_CODES:
        lines += ["- InstallerReturnCode: %d  # %s" % (code, meaning), "  ReturnResponse: " + response]
        if response == "custom":
            lines.append("  ReturnResponseUrl: " + text(args.web_site + "/download"))
    lines.append("Installers:")
    for scope, switch in (("machine", "/ALLUSERS"), ("user", "/CURRENTUSER")):
        lines += [
            "- Architecture: " + arch,
            "  Scope: " + scope,
            "  InstallerUrl: " + text(url),
            "  InstallerSha256: " + digest.upper(),
            "  InstallerSwitches:",
            "    Silent: " + text("/S " + switch),
            "    SilentWithProgress: " + text("/S " + switch),
            "    InstallLocation: " + text('/DIR="<INSTALLPATH>"'),
            "    Log: " + text('/LOG="<LOGPATH>"'),
        ]
    return lines + footer("installer")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("installer")
    parser.add_argument("--version", required=True)
    parser.add_argument("--release-url", required=True)
    parser.add_argument("--web-site", required=True)
    args = parser.parse_args()
    for url in (args.release_url, args.web_site):
        if not url.lower().startswith(("http://", "https://")) or url.endswith("/"):
            parser.error("%s: an http(s) URL without a final slash" % url)

    version = args.version[1:] if args.version[:1] in ("v", "V") else args.version
    digest = sha256(args.installer)
    folder, name = os.path.split(os.path.abspath(args.installer))
    with open(args.installer + ".sha256", "w", newline="\n") as f:
        f.write("%s  %s\n" % (digest, name))

    manifests = os.path.join(folder, os.path.splitext(name)[0] + ".manifest")
    os.makedirs(manifests, exist_ok=True)
    write(os.path.join(manifests, PACKAGE_ID + ".yaml"),
          header(version) + ["DefaultLocale: " + LOCALE] + footer("version"))
    write(os.path.join(manifests, PACKAGE_ID + ".installer.yaml"),
          installer_lines(args, version, digest, architecture(args.installer)))
    write(os.path.join(manifests, "%s.locale.%s.yaml" % (PACKAGE_ID, LOCALE)), header(version) + [
        "PackageLocale: " + LOCALE,
        "Publisher: " + text(PUBLISHER),
        "PublisherUrl: " + text(args.web_site + "/"),
        "PackageName: " + text(DISPLAY_NAME),
        "License: " + text("专有软件"),
        "LicenseUrl: " + text(args.web_site + "/privacy/license.html"),
        "ShortDescription: " + text("教师使用的 Orvek 桌面客户端"),
    ] + footer("defaultLocale"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
