#!/usr/bin/env python3
"""The release artifacts beside a packed installer, checked as their readers do.

usage: release_artifacts_test.py INSTALLER SOURCE_DIR

`sha256sum -c` checks the SHA-256 file; the manifest set is validated against
the package manager's published schemas (tests/app/manifest_schemas/) with
Debian's validator; its digest must be the installer's, and the uninstall
entry it names must be the one the installer writes.
"""

import json
import os
import re
import subprocess
import sys

import jsonschema
import yaml

SCHEMAS = {"installer": "manifest.installer.1.12.0.json", "version": "manifest.version.1.12.0.json",
           "defaultLocale": "manifest.defaultLocale.1.12.0.json"}


def main():
    installer, source = sys.argv[1], sys.argv[2]
    folder, name = os.path.split(os.path.abspath(installer))
    failures = []

    check = subprocess.run(["sha256sum", "-c", name + ".sha256"], cwd=folder, capture_output=True, text=True)
    print(check.stdout + check.stderr, end="")
    if check.returncode != 0:
        failures.append("sha256sum -c failed")

    manifests = os.path.join(folder, os.path.splitext(name)[0] + ".manifest")
    found = {}
    for file in sorted(os.listdir(manifests)):
        with open(os.path.join(manifests, file), encoding="utf-8") as f:
            manifest = yaml.safe_load(f)
        kind = manifest.get("ManifestType")
        with open(os.path.join(source, "tests/app/manifest_schemas", SCHEMAS[kind]), encoding="utf-8") as f:
            schema = json.load(f)
        validator = jsonschema.validators.validator_for(schema)(schema)
        for error in validator.iter_errors(manifest):
            failures.append("%s: %s at %s" % (file, error.message, list(error.absolute_path)))
        print("%s: %s manifest checked against %s" % (file, kind, SCHEMAS[kind]))
        found[kind] = manifest
    if sorted(found) != sorted(SCHEMAS):
        failures.append("manifest set incomplete: %s" % sorted(found))

    digest = open(os.path.join(folder, name + ".sha256")).read().split()[0]
    installers = found.get("installer", {}).get("Installers", [])
    if {i["InstallerSha256"].lower() for i in installers} != {digest}:
        failures.append("InstallerSha256 differs from the installer's digest")
    if sorted(i["Scope"] for i in installers) != ["machine", "user"]:
        failures.append("not one installer per scope")

    registration = ""
    for part in ("registration_names.h", "installation_registration.cpp"):
        with open(os.path.join(source, "src/system/registration", part), encoding="utf-8") as f:
            registration += f.read()
    for entry in found.get("installer", {}).get("AppsAndFeaturesEntries", []):
        for key in ("DisplayName", "Publisher"):
            if 'L"%s"' % entry[key] not in registration:
                failures.append("%s %s is not the uninstall entry's" % (key, entry[key]))
        if not re.search(r"Uninstall\\\\%s\"" % re.escape(entry["ProductCode"]), registration):
            failures.append("ProductCode %s is not the uninstall entry's key" % entry["ProductCode"])

    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
