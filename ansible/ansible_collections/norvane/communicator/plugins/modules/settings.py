#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: settings
short_description: Sets named settings of a communicator
description:
  - Reads the device, and writes only the settings that differ from what it holds, through
    C(veskator-cli set). A device that holds the values already is left alone and reports no
    change.
  - Before a change the device's parameters are kept as a snapshot in the working folder.
  - Every value is checked by veskator-cli against what the setting takes before the device is
    touched; C(veskator-cli settings) lists the keys and what each takes.
version_added: "0.1.0"
author: veskator developers
extends_documentation_fragment:
  - norvane.communicator.cli
options:
  settings:
    description:
      - The settings to set, each named by its key (C(options.mail_server)), its label
        (C(MAIL SERVER)) or its window and label (C(options/PASSWORD)), with its value.
      - C(true) and C(false) stand for on and off; numbers may be given as numbers.
    type: dict
    required: true
  show_passwords:
    description: Show passwords as they are in C(settings) and the diff, not as stars.
    type: bool
    default: false
attributes:
  check_mode:
    support: full
    description: Runs C(veskator-cli set --check), which reads the device and writes nothing.
  diff_mode:
    support: full
    description: The settings that change, with what the device holds before and after.
notes:
  - The device takes one connection at a time; run a play over many devices with C(serial) or
    C(throttle) as the network allows, or call C(veskator-cli) with C(-j) for a whole fleet.
"""

EXAMPLES = r"""
- name: Set the mail server of a panel
  norvane.communicator.settings:
    device: 192.168.1.20:4000
    settings:
      options.mail_server: smtp.example.org
      options.smtp_port_number_like_25_80_or_587: 587
      main.email: true

- name: Every panel of the inventory, one task each
  norvane.communicator.settings:
    device: "{{ inventory_hostname }}:4000"
    settings:
      MAIL SERVER: smtp.example.org
  delegate_to: localhost
"""

RETURN = r"""
changed:
  description: Whether the device was written (in check mode, whether it would be).
  returned: always
  type: bool
settings:
  description: Each setting given, with what the device held before and holds after.
  returned: success
  type: list
  elements: dict
  sample:
    - key: options.mail_server
      window: options
      setting: MAIL SERVER
      before: mail.example.com
      after: smtp.example.org
      changed: true
snapshot:
  description: The parameter file the device's settings were kept in before the change,
    relative to the working folder.
  returned: when the device was written
  type: str
  sample: program/snapshots/2026-12-08_14-03-22_192.168.1.20_4000.bin
diff:
  description: The settings that change, as C(KEY = VALUE) lines before and after.
  returned: in diff mode
  type: dict
message:
  description: What veskator-cli said of the device.
  returned: always
  type: str
"""

import json
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.norvane.communicator.plugins.module_utils.veskator_cli import (
    CLI_OPTIONS,
    device_result,
    run_cli,
    working_folder,
)


def main():
    options = dict(CLI_OPTIONS)
    options.update(
        settings=dict(type="dict", required=True),
        show_passwords=dict(type="bool", default=False),
    )
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    folder = working_folder(module)
    # The settings go over as a file of KEY: VALUE, which veskator-cli reads and checks itself.
    handle, path = tempfile.mkstemp(prefix="settings-", suffix=".json", dir=folder)
    try:
        with os.fdopen(handle, "w") as out:
            json.dump(module.params["settings"], out)
        args = ["set", module.params["device"], "--from", path]
        if module.check_mode:
            args.append("--check")
        if module.params["show_passwords"]:
            args.append("--show-passwords")
        document, _ = run_cli(module, args)
    finally:
        os.unlink(path)
    result = device_result(module, document)
    changes = [s for s in result.get("settings", []) if s.get("changed")]
    answer = dict(
        changed=bool(result.get("changed")),
        settings=result.get("settings", []),
        message=result.get("message", ""),
    )
    if result.get("snapshot"):
        answer["snapshot"] = result["snapshot"]
    if module._diff:
        answer["diff"] = dict(
            before_header=module.params["device"],
            after_header=module.params["device"],
            before="".join("%s = %s\n" % (s["key"], s["before"]) for s in changes),
            after="".join("%s = %s\n" % (s["key"], s["after"]) for s in changes),
        )
    module.exit_json(**answer)


if __name__ == "__main__":
    main()
