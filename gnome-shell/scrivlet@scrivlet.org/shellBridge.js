// SPDX-License-Identifier: GPL-3.0-or-later
// The object Scrivlet talks to on org.gnome.Shell: the clipboard, the
// focused window, typed keys and the palette's shortcut, offered to the
// owner of Scrivlet's bus name alone.

import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import GLibUnix from 'gi://GLibUnix';
import GioUnix from 'gi://GioUnix';
import Meta from 'gi://Meta';
import Shell from 'gi://Shell';

import * as Main from 'resource:///org/gnome/shell/ui/main.js';

import {
    BUS_NAME, CallerGate, Errors, FormatStore, INTERFACE, OBJECT_PATH, Origin, PendingFocus,
    SelectionState, VERSION, applicationId, classifyOrigin,
} from './bridge.js';
import {RemoteClipboard} from './remoteClipboard.js';

const INTERFACE_XML = `<node><interface name="${INTERFACE}">
  <method name="Attach"><arg type="s" direction="out"/><arg type="u" direction="out"/></method>
  <method name="Selection"><arg type="u" direction="out"/><arg type="as" direction="out"/>
    <arg type="s" direction="out"/><arg type="s" direction="out"/></method>
  <method name="Read"><arg type="u" direction="in"/><arg type="s" direction="in"/>
    <arg type="h" direction="in"/></method>
  <method name="SetClipboard"><arg type="a(say)" direction="in"/></method>
  <method name="FocusedWindow"><arg type="t" direction="out"/><arg type="s" direction="out"/>
    <arg type="s" direction="out"/></method>
  <method name="ActivateWindow"><arg type="t" direction="in"/><arg type="b" direction="out"/></method>
  <method name="SendKeys"><arg type="a(ub)" direction="in"/><arg type="b" direction="out"/></method>
  <method name="BindShortcut"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
  <signal name="SelectionChanged"><arg type="u"/><arg type="as"/><arg type="s"/><arg type="s"/></signal>
  <signal name="FocusChanged"><arg type="t"/><arg type="s"/><arg type="s"/></signal>
  <signal name="ShortcutActivated"/>
</interface></node>`;

const CLIPBOARD = Meta.SelectionType.SELECTION_CLIPBOARD;
const ACTIVATE_WAIT_MS = 1000;
// Refusals are logged once per caller; a caller that reconnects over and
// over must not grow this without end.
const MAX_REFUSED_REMEMBERED = 64;

const nowMs = () => GLib.get_monotonic_time() / 1000;

function sameTypes(a, b) {
    return a.length === b.length && a.every(type => b.includes(type));
}

export class ShellBridge {
    constructor(uuid) {
        this._uuid = uuid;
        this._gate = new CallerGate();
        this._state = new SelectionState();
        this._formats = new FormatStore();
        this._pending = new PendingFocus();
        this._cancellable = new Gio.Cancellable();
        this._remote = new RemoteClipboard(this._formats);
        this._remoteFailed = false;
        this._memorySource = null;
        this._settingOwn = 0;
        this._noOwner = false;
        this._offers = Promise.resolve();
        this._refused = new Set();
        this._ownerPid = 0;
        this._action = 0;
        this._bindingName = '';
        this._keyboard = null;
        this._focusedId = -1;
        this._cleanups = new Set();
        this._signals = [];

        const selection = global.display.get_selection();
        this._selection = selection;
        this._connect(selection, 'owner-changed', this._onOwnerChanged.bind(this));
        this._signals.push([selection, selection.connect_after('owner-changed',
            this._afterOwnerChanged.bind(this))]);
        this._connect(global.display, 'notify::focus-window', this._onFocusChanged.bind(this));
        this._connect(global.display, 'accelerator-activated', this._onAccelerator.bind(this));
        this._connect(global.display, 'window-created', this._onWindowCreated.bind(this));

        const types = selection.get_mimetypes(CLIPBOARD);
        this._state.announce(types, this._describe(global.display.focus_window)[1],
            types.length ? Origin.APPLICATION : Origin.NONE);

        this._exported = Gio.DBusExportedObject.wrapJSObject(INTERFACE_XML, this);
        this._exported.export(Gio.DBus.session, OBJECT_PATH);
        this._watch = Gio.bus_watch_name(Gio.BusType.SESSION, BUS_NAME,
            Gio.BusNameWatcherFlags.NONE,
            (_c, _name, owner) => this._onOwnerAppeared(owner),
            () => this._onOwnerVanished());
    }

    destroy() {
        this._cancellable.cancel();
        Gio.bus_unwatch_name(this._watch);
        this._exported.unexport();
        for (const [object, id] of this._signals)
            object.disconnect(id);
        this._signals = [];
        for (const cleanup of this._cleanups)
            cleanup();
        this._cleanups.clear();
        this._ungrab();
        this._remote.close();
        this._formats.clear();
        this._memorySource = null;
        this._keyboard = null;
    }

    _connect(object, signal, handler) {
        this._signals.push([object, object.connect(signal, handler)]);
    }

    // --- who may call ---------------------------------------------------

    _onOwnerAppeared(owner) {
        if (owner !== this._gate.owner)
            this._onOwnerVanished();
        this._gate.setOwner(owner);
        Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus',
            'org.freedesktop.DBus', 'GetConnectionUnixProcessID', new GLib.Variant('(s)', [owner]),
            new GLib.VariantType('(u)'), Gio.DBusCallFlags.NONE, -1, this._cancellable,
            (connection, result) => {
                try {
                    const [pid] = connection.call_finish(result).deepUnpack();
                    if (this._gate.owner === owner)
                        this._ownerPid = pid;
                } catch (error) {
                    // Without its pid the palette only misses the focus.
                }
            });
    }

    _onOwnerVanished() {
        this._gate.setOwner('');
        this._ownerPid = 0;
        this._pending.cancel();
        this._ungrab();
    }

    _admit(invocation) {
        const sender = invocation.get_sender();
        if (this._gate.allows(sender))
            return true;
        if (!this._refused.has(sender)) {
            if (this._refused.size >= MAX_REFUSED_REMEMBERED)
                this._refused.clear();
            this._refused.add(sender);
            console.log(`Scrivlet: refused ${sender}, which does not own ${BUS_NAME}`);
        }
        invocation.return_dbus_error(Errors.NotScrivlet, `Only ${BUS_NAME} may call this`);
        return false;
    }

    _emit(signal, variant = null) {
        const target = this._gate.signalTarget;
        if (target)
            Gio.DBus.session.emit_signal(target, OBJECT_PATH, INTERFACE, signal, variant);
    }

    AttachAsync(_params, invocation) {
        if (!this._admit(invocation))
            return;
        this._gate.attach(invocation.get_sender());
        invocation.return_value(new GLib.Variant('(su)', [this._uuid, VERSION]));
    }

    // --- the clipboard --------------------------------------------------

    _onOwnerChanged(_selection, type, source) {
        if (type !== CLIPBOARD)
            return;
        if (!source)
            this._noOwner = true;
        const ours = Boolean(source) && (source === this._memorySource ||
            (this._settingOwn > 0 && sameTypes(source.get_mimetypes(), this._formats.types)));
        const origin = classifyOrigin({
            hasSource: Boolean(source),
            ours,
            duringNoOwner: this._noOwner,
            isMemory: source instanceof Meta.SelectionSourceMemory,
        });
        if (origin !== Origin.SCRIVLET) {
            this._formats.clear();
            this._memorySource = null;
        }
        const types = source ? this._selection.get_mimetypes(CLIPBOARD) : [];
        const app = this._describe(global.display.focus_window)[1];
        const serial = this._state.announce(types, app, origin);
        this._emit('SelectionChanged',
            new GLib.Variant('(uasss)', [serial, this._state.types, app, origin]));
    }

    // Mutter puts its stored copy back from its own handler of the no-owner
    // change, which runs after ours: a source announced before that change
    // has finished is that copy.
    _afterOwnerChanged(_selection, type, source) {
        if (type === CLIPBOARD && !source)
            this._noOwner = false;
    }

    SelectionAsync(_params, invocation) {
        if (!this._admit(invocation))
            return;
        const {serial, types, app, origin} = this._state;
        invocation.return_value(new GLib.Variant('(uasss)', [serial, types, app, origin]));
    }

    ReadAsync([serial, type, handle], invocation) {
        if (!this._admit(invocation))
            return;
        const refusal = this._state.refusal(serial, type);
        if (refusal) {
            invocation.return_dbus_error(refusal, `Copy ${serial} has no ${type} now`);
            return;
        }
        let output;
        try {
            const fd = invocation.get_message().get_unix_fd_list().get(handle);
            // A slow reader must not stall the Shell.
            GLibUnix.set_fd_nonblocking(fd, true);
            output = GioUnix.OutputStream.new(fd, true);
        } catch (error) {
            invocation.return_dbus_error(Errors.Failed, `No file descriptor: ${error.message}`);
            return;
        }
        this._selection.transfer_async(CLIPBOARD, type, -1, output, this._cancellable,
            (selection, result) => {
                try {
                    selection.transfer_finish(result);
                    output.close(null);
                    invocation.return_value(null);
                } catch (error) {
                    output.close(null);
                    invocation.return_dbus_error(Errors.Failed, error.message);
                }
            });
    }

    SetClipboardAsync([formats], invocation) {
        if (!this._admit(invocation))
            return;
        if (!formats.some(([type]) => type)) {
            invocation.return_dbus_error(Errors.Failed, 'No formats');
            return;
        }
        // One copy after the other: each must know which source is its own.
        this._offers = this._offers.then(() => this._offer(formats)).then(
            () => invocation.return_value(null),
            error => invocation.return_dbus_error(Errors.Failed, error.message));
    }

    async _offer(formats) {
        this._formats.replace(formats);
        const types = this._formats.types;
        if (!this._remoteFailed) {
            this._settingOwn++;
            try {
                await this._remote.setSelection(types);
                return;
            } catch (error) {
                if (this._cancellable.is_cancelled())
                    throw error;
                this._remoteFailed = true;
                console.log(`Scrivlet: mutter's remote desktop clipboard failed (${
                    error.message}); copies now offer only their first format`);
            } finally {
                this._settingOwn--;
            }
        }
        const source = Meta.SelectionSourceMemory.new(types[0],
            new GLib.Bytes(this._formats.get(types[0])));
        this._memorySource = source;
        this._selection.set_owner(CLIPBOARD, source);
        // Only the first format is served now.
        this._formats.replace([[types[0], this._formats.get(types[0])]]);
    }

    // --- windows --------------------------------------------------------

    _describe(win) {
        if (!win)
            return [0, '', ''];
        const app = Shell.WindowTracker.get_default().get_window_app(win);
        const wmClass = win.get_wm_class() ?? '';
        return [win.get_id(), applicationId({
            trackerId: app?.get_id() ?? '',
            gtkApplicationId: win.get_gtk_application_id() ?? '',
            sandboxedAppId: win.get_sandboxed_app_id() ?? '',
            wmClass,
        }), wmClass];
    }

    _onFocusChanged() {
        const described = this._describe(global.display.focus_window);
        if (described[0] === this._focusedId)
            return;
        this._focusedId = described[0];
        this._emit('FocusChanged', new GLib.Variant('(tss)', described));
    }

    FocusedWindowAsync(_params, invocation) {
        if (!this._admit(invocation))
            return;
        invocation.return_value(new GLib.Variant('(tss)',
            this._describe(global.display.focus_window)));
    }

    ActivateWindowAsync([id], invocation) {
        if (!this._admit(invocation))
            return;
        const win = global.get_window_actors().map(actor => actor.get_meta_window())
            .find(w => w && w.get_id() === id);
        const reply = focused => invocation.return_value(new GLib.Variant('(b)', [focused]));
        if (!win) {
            reply(false);
            return;
        }
        if (global.display.focus_window === win) {
            reply(true);
            return;
        }
        let focusId = 0, timeoutId = 0;
        const finish = () => {
            global.display.disconnect(focusId);
            if (timeoutId)
                GLib.source_remove(timeoutId);
            this._cleanups.delete(cleanup);
        };
        const cleanup = () => {
            finish();
            reply(false);
        };
        focusId = global.display.connect('notify::focus-window', () => {
            if (global.display.focus_window !== win)
                return;
            finish();
            reply(true);
        });
        timeoutId = GLib.timeout_add(GLib.PRIORITY_DEFAULT, ACTIVATE_WAIT_MS, () => {
            timeoutId = 0;
            finish();
            reply(global.display.focus_window === win);
            return GLib.SOURCE_REMOVE;
        });
        this._cleanups.add(cleanup);
        Main.activateWindow(win);
    }

    _onWindowCreated(_display, win) {
        if (this._pending.armed)
            this._offerWindow(win);
    }

    // A new window may not know its pid until it is shown.
    _offerWindow(win) {
        const verdict = this._pending.offer(win.get_pid(), nowMs());
        if (verdict === 'ignore')
            return;
        const ids = [];
        const cleanup = () => {
            ids.forEach(id => win.disconnect(id));
            this._cleanups.delete(cleanup);
        };
        ids.push(win.connect('shown', () => {
            cleanup();
            if (verdict === 'take')
                Main.activateWindow(win);
            else
                this._offerWindow(win);
        }), win.connect('unmanaged', cleanup));
        this._cleanups.add(cleanup);
        if (verdict === 'take')
            Main.activateWindow(win);
    }

    // --- keys -------------------------------------------------------------

    SendKeysAsync([keys], invocation) {
        if (!this._admit(invocation))
            return;
        this._keyboard ??= Clutter.get_default_backend().get_default_seat()
            .create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
        for (const [keysym, pressed] of keys) {
            this._keyboard.notify_keyval(GLib.get_monotonic_time(), keysym,
                pressed ? Clutter.KeyState.PRESSED : Clutter.KeyState.RELEASED);
        }
        invocation.return_value(new GLib.Variant('(b)', [true]));
    }

    BindShortcutAsync([accelerator], invocation) {
        if (!this._admit(invocation))
            return;
        this._ungrab();
        let bound = true;
        if (accelerator) {
            const action = global.display.grab_accelerator(accelerator, Meta.KeyBindingFlags.NONE);
            bound = action !== Meta.KeyBindingAction.NONE;
            if (bound) {
                this._action = action;
                this._bindingName = Meta.external_binding_name_for_action(action);
                // Not on the lock screen or in the Shell's own dialogs: the
                // palette shows history, which a locked session must not.
                Main.wm.allowKeybinding(this._bindingName,
                    Shell.ActionMode.NORMAL | Shell.ActionMode.OVERVIEW);
            }
        }
        invocation.return_value(new GLib.Variant('(b)', [bound]));
    }

    _ungrab() {
        if (!this._action)
            return;
        global.display.ungrab_accelerator(this._action);
        Main.wm.allowKeybinding(this._bindingName, Shell.ActionMode.NONE);
        this._action = 0;
        this._bindingName = '';
    }

    _onAccelerator(_display, action) {
        if (!this._action || action !== this._action)
            return;
        this._emit('ShortcutActivated');
        this._pending.arm(this._ownerPid, nowMs());
    }
}
