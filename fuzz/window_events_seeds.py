#!/usr/bin/env python3
"""Writes the seed corpus of the window_events target: one short sequence per
behaviour of the form, each to fuzz/corpus/window_events/<name>.

The target reads every choice as one byte from the end of its input (as
FuzzedDataProvider does), so each sequence is written back to front.
    fuzz/window_events_seeds.py
"""
import pathlib

# Log values in the target's order, each with the name of its seed; MISSING: no Log value.
LOG_NAMES = {'1': 'one', '0': 'zero', ' 1': 'blank_one', '10': 'ten', '': 'empty', 'dword0': 'dword_zero',
             'dword1': 'dword_one', 'dword-1': 'dword_minus_one', 'binary1': 'binary_text_one',
             'binary01': 'binary_byte_one', 'expand1': 'expandable_one', 'multi0': 'multi_string_zero'}
LOG = {kind: number for number, kind in enumerate(LOG_NAMES)}
MISSING = 12
AMY, NOBODY, BOB = 0, 1, 2  # the pool; spellings: 0 as given, 1 capitals, 2 first letter's case turned
OPS = dict(pick=0, enable=1, disable=2, reload=3, answer=4, log=5, add=6, delete=7, delete_pick=8,
           remake=9, delete_product=10, delete_parent=11, make_product=12, refuse=13, timer=14)


def start(accounts=None, product=0):
    """product 0: the product key, 1: its parent only, 2: neither; accounts: {slot: (log, spelling)}."""
    out = [product]
    if product == 0:
        for slot in (AMY, NOBODY, BOB):
            log, spelling = (accounts or {}).get(slot, (None, 0))
            out.append(0 if log is None else (LOG.get(log, MISSING) + 1) + 14 * spelling)
    return out


def ev(op, slot=0, spelling=0, log=None):
    out = [slot, spelling, OPS[op]]
    if op == 'log':
        out.append(MISSING if log is None else LOG[log])
    return out


def pick(entry):
    """The list's entry (the target takes (slot * 3 + spelling) % (entries + 1)); entry n of n: the blank."""
    return ev('pick', entry // 3, entry % 3)


SEEDS = {
    'load_no_accounts': start({}),
    'load_only_nobody': start({NOBODY: ('1', 0)}),
    'load_nobody_and_amy': start({NOBODY: ('1', 0), AMY: ('1', 0)}),
    'load_lowercase_nobody_listed': start({NOBODY: ('0', 2), AMY: ('1', 0)}),
    'load_capital_nobody_listed': start({NOBODY: ('0', 1)}),
    'load_store_order_and_spelling': start({AMY: ('1', 2), NOBODY: ('0', 1), BOB: ('1', 1)}),
    'load_no_product_key': start(product=1) + ev('timer'),
    'load_no_parent_key': start(product=2) + ev('add', BOB) + ev('timer') + pick(0),
    'pick_key_gone': start({AMY: ('1', 0), BOB: ('0', 0)}) + ev('delete', BOB) + pick(1),
    'pick_log_absent': start({AMY: (MISSING, 0)}) + pick(0),
    'window_grows_on_first_pick_only': start({AMY: (MISSING, 0), BOB: ('1', 0)}) + pick(0) + pick(1) + pick(0),
    'unreadable_keeps_enabled_states': start({AMY: ('0', 0), NOBODY: (MISSING, 2), BOB: ('1', 0)})
    + pick(0) + pick(1) + pick(2),
    'each_pick_reads_again': start({AMY: ('0', 0)}) + pick(0) + ev('log', AMY, 0, '1') + pick(0),
    'enable_then_answer': start({AMY: ('0', 0)}) + pick(0) + ev('enable') + ev('answer'),
    'disable_then_answer': start({AMY: ('1', 0)}) + pick(0) + ev('disable') + ev('answer', spelling=1),
    'enable_key_removed': start({AMY: ('0', 0), BOB: ('0', 0)}) + pick(0) + ev('delete', AMY) + ev('enable')
    + ev('answer'),
    'disable_refused': start({AMY: ('1', 0)}) + pick(0) + ev('refuse') + ev('disable') + ev('answer')
    + ev('disable') + ev('answer'),
    'reload_twice': start({AMY: ('1', 0)}) + pick(0) + ev('reload') + ev('answer') + ev('reload') + ev('answer'),
    'changes_while_box_open': start({AMY: ('0', 0), BOB: ('1', 0)}) + pick(0) + ev('enable')
    + ev('log', AMY, 0, '0') + ev('delete', BOB) + ev('timer') + ev('answer') + ev('timer'),
    'refresh_keeps_pick_by_name': start({AMY: ('1', 0), BOB: ('0', 0)}) + pick(1)
    + ev('log', BOB, 0, '1') + ev('add', NOBODY) + ev('delete', AMY) + ev('timer')
    + ev('log', BOB, 0, ' 1') + ev('timer')
    + ev('remake', BOB, 0) + ev('log', BOB, 1, '0') + ev('timer')
    + ev('add', AMY) + ev('delete_pick') + ev('timer') + pick(0),
    'refresh_pick_made_again_in_capitals': start({AMY: ('1', 0), BOB: ('0', 0)}) + pick(0)
    + ev('remake', AMY, 0) + ev('timer') + ev('log', AMY, 2, '0') + ev('timer'),
    'refresh_pick_deleted_others_remain': start({AMY: ('1', 0), BOB: ('0', 0)}) + pick(0)
    + ev('delete_pick') + ev('timer') + pick(0),
    'refresh_pick_deleted_none_remain': start({AMY: ('1', 0)}) + pick(0) + ev('delete_pick') + ev('timer')
    + ev('add', BOB) + ev('timer') + pick(0),
    'refresh_without_report_does_nothing': start({AMY: ('1', 0)}) + pick(0) + ev('timer') + ev('timer'),
    'refresh_after_own_write': start({AMY: ('0', 0)}) + pick(0) + ev('enable') + ev('answer') + ev('timer'),
    'product_key_deleted_and_made_again': start({AMY: ('1', 0)}) + pick(0) + ev('delete_product')
    + ev('timer') + ev('make_product') + ev('add', BOB) + ev('timer') + pick(0),
    'parent_key_deleted': start({AMY: ('1', 0), BOB: ('0', 0)}) + pick(1) + ev('delete_parent') + ev('timer')
    + ev('log', AMY, 1, '0') + ev('timer') + pick(0),
    'blank_pick': start({AMY: ('1', 0)}) + pick(1) + ev('delete', AMY) + ev('timer') + pick(0)
    + ev('add', BOB) + ev('timer') + pick(0),
    'nobody_in_other_cases': start({NOBODY: ('1', 0)}) + ev('remake', NOBODY, 0) + ev('timer') + pick(0)
    + ev('remake', NOBODY, 1) + ev('timer') + ev('remake', NOBODY, 2) + ev('timer'),
}
for kind, name in LOG_NAMES.items():
    SEEDS['pick_log_' + name] = start({AMY: ('1', 0)}) + ev('log', BOB, 0, kind) + ev('timer') + pick(1)

folder = pathlib.Path(__file__).resolve().parent / 'corpus' / 'window_events'
folder.mkdir(parents=True, exist_ok=True)
for name, sequence in SEEDS.items():
    (folder / name).write_bytes(bytes(reversed(sequence)))
print(f'{len(SEEDS)} seeds in {folder}')
