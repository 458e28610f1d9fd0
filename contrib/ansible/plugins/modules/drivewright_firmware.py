#!/usr/bin/python
# -*- coding: utf-8 -*-

# Copyright (c) 2026 The Drivewright developers
# MIT License (see LICENSE in Drivewright's source or https://opensource.org/licenses/MIT)

# Upgrades the firmware of a KORVANE drive with the drivewright command line and reports a change
# only where an upgrade was done: the program decides, from the file and the drive, whether the
# drive needs it, and says so in its exit code and its JSON document.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: drivewright_firmware
short_description: Upgrade the firmware of a KORVANE CD/DVD drive where it needs it
version_added: "1.0.0"
description:
  - Runs C(drivewright upgrade FILE --json --yes) on the managed host and reads the JSON
    document it writes.
  - The drive is upgraded only where it runs an older firmware version than the file's;
    where it already runs the file's version or a newer one, nothing is sent to it and the
    task reports no change.
  - Every check of the program runs before anything is sent to the drive; a file that is not
    valid for the drive, a drive in use, a mounted disc or battery power fail the task with the
    program's reason, and the drive is left as it was.
options:
  file:
    description:
      - The upgrade file, a path on the managed host (copy it there first, for example with
        M(ansible.builtin.copy)).
    type: path
    required: true
  device:
    description:
      - The drive, as C(drivewright --device) takes it, for example C(/dev/sg1), C(/dev/sr0),
        C(/dev/cdrom) or a C(/dev/disk/by-id) name.
      - May be left out where the host has one KORVANE drive.
    type: str
  allow_older:
    description:
      - Upgrade to a file whose version is older than the drive's (C(--allow-older)).
    type: bool
    default: false
  allow_reinstall:
    description:
      - Upgrade with a file of the version the drive already runs (C(--allow-reinstall)).
    type: bool
    default: false
  force:
    description:
      - Upgrade on battery power (C(--force)).
    type: bool
    default: false
  binary:
    description:
      - The drivewright program, a path or a name looked up in the C(PATH) of the managed host
        and the system's C(sbin) folders.
    type: path
    default: drivewright
attributes:
  check_mode:
    support: full
    details:
      - Runs C(drivewright upgrade --dry-run), which makes every check of the upgrade and sends
        the drive only commands that read from it; C(changed) says whether the upgrade would be
        done.
  diff_mode:
    support: none
  platform:
    platforms: posix
notes:
  - The task waits until the program ends; a whole upgrade takes seconds to minutes. Once the
    committing command has been sent, the program finishes the upgrade whatever happens to the
    connection.
  - The options, exit codes and the JSON document of C(drivewright upgrade) are described in
    Drivewright's README ("The command line on Linux") and its manual page, drivewright(1).
  - C(changed) is true only when the drive was upgraded (in check mode, when it would be). An
    upgrade that failed after commands that change the drive were sent fails the task with exit
    code 1; look at the drive then.
requirements:
  - drivewright 1.26.0 or later on the managed host (the C(--json) option)
  - root (or the rights C(drivewright upgrade) needs on the drive's nodes)
author:
  - The Drivewright developers
"""

EXAMPLES = r"""
- name: Copy the firmware file to the host
  ansible.builtin.copy:
    src: files/kv829a-110.bin
    dest: /var/tmp/kv829a-110.bin
    mode: "0644"

- name: Upgrade the host's KORVANE drive where it runs an older version
  drivewright.firmware.drivewright_firmware:
    file: /var/tmp/kv829a-110.bin
  become: true

- name: Upgrade one of several drives, on battery power too
  drivewright.firmware.drivewright_firmware:
    file: /var/tmp/kv829a-110.bin
    device: /dev/disk/by-id/ata-KORVANE_DVDR_KV-829A_KV100000
    force: true
  become: true
  register: upgrade

- name: Show the versions
  ansible.builtin.debug:
    msg: "{{ upgrade.version_before }} -> {{ upgrade.version_after }}"

- name: Go back to an older version
  drivewright.firmware.drivewright_firmware:
    file: /var/tmp/kv829a-104.bin
    allow_older: true
    binary: /usr/local/bin/drivewright
  become: true
"""

RETURN = r"""
exit_code:
  description:
    - The program's exit code. 0 done (in check mode, the upgrade would be done); 1 the upgrade
      failed after a command that changes the drive was sent; 2 usage; 3 the drive cannot be used;
      4 no KORVANE drive, or not the one named; 5 the file is not valid for the drive; 6 nothing
      done, the drive runs the file's version or a newer one; 130 interrupted, nothing committed.
  returned: when the program ran
  type: int
  sample: 0
version_before:
  description:
    - The firmware version the drive reported before the upgrade; null where no drive was chosen.
  returned: when the program wrote its JSON document
  type: str
  sample: "1.00"
version_after:
  description:
    - The firmware version the drive reports after the upgrade; where nothing was done, the
      version it runs still; in check mode, where the upgrade would be done, the file's version.
    - null where no drive was chosen or it could not be read back.
  returned: when the program wrote its JSON document
  type: str
  sample: "1.10"
drive:
  description:
    - The drive, as the JSON document describes it (nodes, stable name, INQUIRY fields, firmware,
      bus, model row, the sizes of its upgrade files); null where no drive was chosen.
  returned: when the program wrote its JSON document
  type: dict
  sample:
    sg: /dev/sg0
    sr: /dev/sr0
    stable_name: /dev/disk/by-id/ata-KORVANE_DVDR_KV-829A_KV100000
    product: DVDR   KV-829A
    firmware: "1.00"
    bus: ATAPI
result:
  description: The whole JSON document the program wrote (see "JSON for scripts" in its README).
  returned: when the program wrote one
  type: dict
  sample:
    command: upgrade
    exit_code: 0
    outcome: succeeded
    text: Upgrade succesfull
stderr:
  description: What the program wrote on stderr (its texts, progress and reasons).
  returned: when the program ran
  type: str
  sample: "Valid upgrade file loaded: kv829a-110.bin"
"""

import json

from ansible.module_utils.basic import AnsibleModule

EXIT_DONE = 0
EXIT_NOTHING_DONE = 6


def program_path(module, binary):
    """The program to run: a path as given, a bare name looked up as Ansible looks up tools."""
    if "/" in binary:
        return binary
    return module.get_bin_path(binary, required=True)


def command_line(module, program):
    params = module.params
    args = [program, "upgrade", params["file"], "--json", "--yes"]
    if module.check_mode:
        args.append("--dry-run")
    if params["device"]:
        args.extend(["--device", params["device"]])
    if params["allow_older"]:
        args.append("--allow-older")
    if params["allow_reinstall"]:
        args.append("--allow-reinstall")
    if params["force"]:
        args.append("--force")
    return args


def read_document(stdout):
    """The JSON document of stdout, or None where the program wrote none."""
    try:
        document = json.loads(stdout)
    except ValueError:
        return None
    return document if isinstance(document, dict) else None


def failure_message(document, stderr, rc):
    """The program's message, and its reason where that says more."""
    if document is None:
        last_line = (stderr.strip().splitlines() or [""])[-1]
        text = "drivewright wrote no JSON document (exit code %d)" % rc
        return "%s: %s" % (text, last_line) if last_line else text
    message = (document.get("error") or {}).get("message") or document.get("text")
    reason = document.get("reason")
    parts = [part for part in (message, reason) if part]
    if len(parts) == 2 and parts[1] in parts[0]:
        parts = parts[:1]
    return "; ".join(parts) or "drivewright ended with exit code %d" % rc


def versions(document, rc, check_mode):
    """The drive's firmware version before and after (or after the upgrade a dry run tells of)."""
    upgrade = document.get("upgrade") or {}
    drive = document.get("drive") or {}
    before = upgrade.get("version_before") or drive.get("firmware")
    after = upgrade.get("version_after")
    if rc == EXIT_NOTHING_DONE:
        after = before
    elif rc == EXIT_DONE and check_mode:
        after = (document.get("file") or {}).get("version")
    return before, after


def main():
    module = AnsibleModule(
        argument_spec=dict(
            file=dict(type="path", required=True),
            device=dict(type="str"),
            allow_older=dict(type="bool", default=False),
            allow_reinstall=dict(type="bool", default=False),
            force=dict(type="bool", default=False),
            binary=dict(type="path", default="drivewright"),
        ),
        supports_check_mode=True,
    )

    program = program_path(module, module.params["binary"])
    rc, stdout, stderr = module.run_command(command_line(module, program))
    document = read_document(stdout)

    result = dict(changed=False, exit_code=rc, stderr=stderr, result=document)
    if document is not None:
        before, after = versions(document, rc, module.check_mode)
        result.update(version_before=before, version_after=after, drive=document.get("drive"))

    if document is None or rc not in (EXIT_DONE, EXIT_NOTHING_DONE):
        module.fail_json(msg=failure_message(document, stderr, rc), **result)
    result["changed"] = rc == EXIT_DONE
    module.exit_json(**result)


if __name__ == "__main__":
    main()
