// SPDX-License-Identifier: GPL-3.0-or-later
// The bridge's rules under plain gjs: gjs -m bridge_test.js EXTENSION_DIR
import System from 'system';

const [dir] = ARGV;
const {
    CallerGate, Errors, FormatStore, Origin, PALETTE_WINDOW_MS, PendingFocus, SelectionState,
    applicationId, classifyOrigin,
} = await import(`file://${dir}/bridge.js`);

let passed = 0;
const failed = [];

function expect(name, actual, wanted) {
    const same = JSON.stringify(actual) === JSON.stringify(wanted);
    if (same) {
        passed++;
    } else {
        failed.push(name);
        print(`FAIL ${name}: got ${JSON.stringify(actual)}, wanted ${JSON.stringify(wanted)}`);
    }
}

// Only the current owner of the name is answered, and signals reach it only
// once it has attached; a new owner must attach again.
{
    const gate = new CallerGate();
    const steps = [
        ['nobody owns the name', g => g.allows(':1.5'), false],
        ['an empty sender', g => (g.setOwner(':1.5'), g.allows('')), false],
        ['the owner', g => g.allows(':1.5'), true],
        ['another caller', g => g.allows(':1.6'), false],
        ['no signals before Attach', g => g.signalTarget, ''],
        ['Attach by another caller', g => g.attach(':1.6'), false],
        ['still no signals', g => g.signalTarget, ''],
        ['Attach by the owner', g => g.attach(':1.5'), true],
        ['signals go to the owner', g => g.signalTarget, ':1.5'],
        ['a new owner', g => (g.setOwner(':1.9'), g.allows(':1.5')), false],
        ['the old owner gets no signals', g => g.signalTarget, ''],
        ['the name left the bus', g => (g.setOwner(''), g.allows('')), false],
    ];
    for (const [name, step, wanted] of steps)
        expect(`caller: ${name}`, step(gate), wanted);
}

// Origins: ours wins over everything; mutter's kept copy is a memory source
// arriving while the no-owner change is still being announced.
for (const [name, facts, wanted] of [
    ['no source', {hasSource: false, ours: false, duringNoOwner: true, isMemory: false}, 'none'],
    ['our remote copy', {hasSource: true, ours: true, duringNoOwner: false, isMemory: false},
        'scrivlet'],
    ['our memory copy', {hasSource: true, ours: true, duringNoOwner: false, isMemory: true},
        'scrivlet'],
    ['the kept copy', {hasSource: true, ours: false, duringNoOwner: true, isMemory: true}, 'kept'],
    ['a Shell copy later on', {hasSource: true, ours: false, duringNoOwner: false, isMemory: true},
        'application'],
    ['a program after no owner', {hasSource: true, ours: false, duringNoOwner: true,
        isMemory: false}, 'application'],
    ['a program', {hasSource: true, ours: false, duringNoOwner: false, isMemory: false},
        'application'],
])
    expect(`origin: ${name}`, classifyOrigin(facts), wanted);

// Serials: only the last announced copy can be read, and only in its types.
{
    const state = new SelectionState();
    const first = state.announce(['text/plain', 'text/html', 'text/plain'], 'org.x', Origin.APPLICATION);
    expect('serial: types are kept once each', state.types, ['text/plain', 'text/html']);
    expect('serial: the current copy reads', state.refusal(first, 'text/html'), null);
    expect('serial: a type not offered', state.refusal(first, 'image/png'), Errors.NotOffered);
    const second = state.announce([], '', Origin.NONE);
    expect('serial: each change has a new serial', second !== first, true);
    expect('serial: the earlier copy is stale', state.refusal(first, 'text/plain'), Errors.Stale);
    expect('serial: a future serial is stale', state.refusal(second + 1, 'text/plain'),
        Errors.Stale);
    expect('serial: no owner offers nothing', state.refusal(second, 'text/plain'),
        Errors.NotOffered);
    state.serial = 0xffffffff;
    expect('serial: wraps past 32 bits to 1, never 0', state.announce(['a'], '', 'application'), 1);
}

// Application ids.
for (const [name, facts, wanted] of [
    ['desktop entry', {trackerId: 'org.gnome.TextEditor.desktop', wmClass: 'gnome-text-editor'},
        'org.gnome.TextEditor'],
    ['made-up id: GTK application id first', {trackerId: 'window:12',
        gtkApplicationId: 'org.x.App', sandboxedAppId: 'org.y', wmClass: 'z'}, 'org.x.App'],
    ['made-up id: then the sandbox', {trackerId: 'window:12', sandboxedAppId: 'org.y',
        wmClass: 'z'}, 'org.y'],
    ['made-up id: then WM_CLASS', {trackerId: 'window:3', wmClass: 'xterm'}, 'xterm'],
    ['nothing known', {trackerId: ''}, ''],
])
    expect(`app id: ${name}`, applicationId(facts), wanted);

// The palette's window: Scrivlet's first window within the limit, once.
for (const [name, offers, wanted] of [
    ['another program first', [[77, 10], [42, 20]], ['ignore', 'take']],
    ['only the first is taken', [[42, 10], [42, 20]], ['take', 'ignore']],
    ['pid not known yet', [[0, 10], [42, 20]], ['wait', 'take']],
    ['too late', [[42, PALETTE_WINDOW_MS + 1]], ['ignore']],
    ['at the limit', [[42, PALETTE_WINDOW_MS]], ['take']],
    ['expired once, stays expired', [[42, PALETTE_WINDOW_MS + 1], [42, 5]], ['ignore', 'ignore']],
]) {
    const pending = new PendingFocus();
    pending.arm(42, 0);
    expect(`focus: ${name}`, offers.map(([pid, at]) => pending.offer(pid, at)), wanted);
}
{
    const pending = new PendingFocus();
    expect('focus: nothing without the shortcut', pending.offer(42, 0), 'ignore');
    pending.arm(0, 0);
    expect('focus: Scrivlet\'s pid unknown takes nothing', pending.offer(42, 1), 'ignore');
    pending.arm(42, 0);
    pending.cancel();
    expect('focus: cancelled when Scrivlet leaves', pending.offer(42, 1), 'ignore');
}

// Formats in order, the first of a repeated type kept, dropped on clear.
{
    const store = new FormatStore();
    const bytes = s => new TextEncoder().encode(s);
    store.replace([['text/plain', bytes('a')], ['text/html', bytes('<a>')],
        ['text/plain', bytes('b')], ['', bytes('x')]]);
    expect('formats: order and no repeats', store.types, ['text/plain', 'text/html']);
    expect('formats: first bytes of a type', new TextDecoder().decode(store.get('text/plain')), 'a');
    store.replace([['image/png', bytes('p')]]);
    expect('formats: a new copy replaces the old', [store.types, store.get('text/plain')],
        [['image/png'], null]);
    store.clear();
    expect('formats: cleared', store.types, []);
}

print(`${passed} passed, ${failed.length} failed`);
System.exit(failed.length ? 1 : 0);
