# -*- coding: utf-8 -*-
# The options every module of the collection takes: which device, which veskator-cli, and the
# folder it works in.

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r"""
options:
  device:
    description: The communicator, as C(HOST:PORT) or C(HOST).
    type: str
    required: true
  cli:
    description: The veskator-cli program; by default the one on the PATH.
    type: path
  chdir:
    description:
      - The folder veskator-cli works in, where its snapshots (C(program/snapshots/)) and its
        journal of writes (C(program/journal.jsonl)) are kept.
      - By default C(veskator-ansible) under the user's data folder (C($XDG_DATA_HOME) or
        C(~/.local/share)), made readable by its owner alone.
    type: path
"""
