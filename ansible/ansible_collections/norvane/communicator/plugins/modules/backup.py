#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: backup
short_description: Keeps a communicator's parameters in a parameter file
description:
  - Reads the device with C(veskator-cli read) into a parameter file, which the programmer and
    C(veskator-cli write) take back.
  - The file is replaced only when what the device holds differs from it.
version_added: "0.1.0"
author: veskator developers
extends_documentation_fragment:
  - norvane.communicator.cli
options:
  dest:
    description: The parameter file; its folder must exist.
    type: path
    required: true
attributes:
  check_mode:
    support: full
    description: The device is read and compared, and the file is left as it is.
  diff_mode:
    support: none
"""

EXAMPLES = r"""
- name: Keep each panel's parameters
  norvane.communicator.backup:
    device: "{{ item }}"
    dest: "backups/{{ item | replace(':', '_') }}.bin"
  loop:
    - 192.168.1.20:4000
    - 192.168.1.21:4000
"""

RETURN = r"""
changed:
  description: Whether the file's content changed (in check mode, whether it would).
  returned: always
  type: bool
dest:
  description: The parameter file.
  returned: always
  type: str
checksum:
  description: The SHA-1 of what the device holds.
  returned: success
  type: str
"""

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.norvane.communicator.plugins.module_utils.veskator_cli import (
    CLI_OPTIONS,
    device_result,
    run_cli,
    working_folder,
)


def main():
    options = dict(CLI_OPTIONS)
    options.update(dest=dict(type="path", required=True))
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    dest = os.path.abspath(module.params["dest"])
    folder = working_folder(module)
    read = os.path.join(folder, ".backup-%d.bin" % os.getpid())
    try:
        document, _ = run_cli(module, ["read", module.params["device"], "-o", read])
        device_result(module, document)
        checksum = module.sha1(read)
        changed = not os.path.exists(dest) or module.sha1(dest) != checksum
        if changed and not module.check_mode:
            module.atomic_move(read, dest)
    finally:
        if os.path.exists(read):
            os.unlink(read)
    module.exit_json(changed=changed, dest=dest, checksum=checksum)


if __name__ == "__main__":
    main()
