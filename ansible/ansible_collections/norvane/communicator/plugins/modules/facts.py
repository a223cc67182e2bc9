#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: facts
short_description: Reads every named setting of a communicator
description:
  - Reads the device with C(veskator-cli get) and returns its settings by key, as
    C(norvane.communicator.settings) takes them.
  - Passwords come as stars unless asked for.
version_added: "0.1.0"
author: veskator developers
extends_documentation_fragment:
  - norvane.communicator.cli
options:
  keys:
    description: The settings to read (keys or labels); by default all of them.
    type: list
    elements: str
    default: []
  show_passwords:
    description: Return passwords as they are, not as stars.
    type: bool
    default: false
attributes:
  check_mode:
    support: full
    description: Reading changes nothing, so it runs as it would.
  diff_mode:
    support: none
  facts:
    support: full
"""

EXAMPLES = r"""
- name: What the panel holds
  norvane.communicator.facts:
    device: 192.168.1.20:4000
  register: panel

- ansible.builtin.debug:
    msg: "{{ panel.settings['options.mail_server'] }}"
"""

RETURN = r"""
settings:
  description: The device's settings, key to value.
  returned: success
  type: dict
  sample:
    options.mail_server: smtp.example.org
    main.email: "on"
ansible_facts:
  description: The same settings as the fact C(communicator_settings).
  returned: success
  type: dict
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.norvane.communicator.plugins.module_utils.veskator_cli import (
    CLI_OPTIONS,
    device_result,
    run_cli,
)


def main():
    options = dict(CLI_OPTIONS)
    options.update(
        keys=dict(type="list", elements="str", default=[], no_log=False),
        show_passwords=dict(type="bool", default=False),
    )
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    args = ["get", module.params["device"]] + module.params["keys"]
    if module.params["show_passwords"]:
        args.append("--show-passwords")
    document, _ = run_cli(module, args)
    settings = device_result(module, document).get("settings", {})
    module.exit_json(
        changed=False,
        settings=settings,
        ansible_facts=dict(communicator_settings=settings),
    )


if __name__ == "__main__":
    main()
