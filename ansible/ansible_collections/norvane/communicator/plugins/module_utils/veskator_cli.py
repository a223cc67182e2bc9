# -*- coding: utf-8 -*-
# What the modules share: where veskator-cli is and where it works, and its JSON document. Every
# rule about settings is the program's own; nothing here knows a setting.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os

CLI_OPTIONS = dict(
    device=dict(type="str", required=True),
    cli=dict(type="path"),
    chdir=dict(type="path"),
)


def working_folder(module):
    """The folder the program works in (snapshots, logs): chdir, or one of the collection's own
    under the user's data folder, readable by its owner alone."""
    folder = module.params.get("chdir")
    if not folder:
        data = os.environ.get("XDG_DATA_HOME") or os.path.expanduser("~/.local/share")
        folder = os.path.join(data, "veskator-ansible")
    if not os.path.isdir(folder):
        try:
            os.makedirs(folder, mode=0o700)
        except OSError as error:
            module.fail_json(msg="cannot make the folder %s: %s" % (folder, error))
    return folder


def run_cli(module, args):
    """Runs veskator-cli --json ARGS in the working folder; its document, or the module fails with
    the program's own message."""
    cli = module.params.get("cli") or module.get_bin_path("veskator-cli", required=True)
    folder = working_folder(module)
    rc, out, err = module.run_command([cli, "--json"] + args, cwd=folder)
    try:
        document = json.loads(out)
    except ValueError:
        module.fail_json(msg=(err or out or "veskator-cli printed nothing").strip(), rc=rc)
    if not document.get("ok") and "error" in document:
        module.fail_json(msg=document["error"], rc=rc)
    return document, folder


def device_result(module, document):
    """The one device's result of a run; the module fails when the device did."""
    results = document.get("results") or [{}]
    result = results[0]
    if not result.get("ok"):
        module.fail_json(
            msg=result.get("message", "veskator-cli failed"),
            device=result.get("device", module.params["device"]),
            status=result.get("status", "failed"),
        )
    return result
