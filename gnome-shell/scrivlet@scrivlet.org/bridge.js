// SPDX-License-Identifier: GPL-3.0-or-later
// The bridge's rules, kept apart from the Shell so that plain gjs can test
// them: who may call, which copy a serial names, where a copy came from,
// which window the palette is, and the formats we serve.

export const BUS_NAME = 'org.scrivlet.Scrivlet';
export const OBJECT_PATH = '/org/scrivlet/Scrivlet/Shell';
export const INTERFACE = 'org.scrivlet.Scrivlet.Shell';
export const VERSION = 1;

export const Errors = Object.freeze({
    NotScrivlet: `${INTERFACE}.Error.NotScrivlet`,
    Stale: `${INTERFACE}.Error.Stale`,
    NotOffered: `${INTERFACE}.Error.NotOffered`,
    Failed: `${INTERFACE}.Error.Failed`,
});

export const Origin = Object.freeze({
    NONE: 'none',
    SCRIVLET: 'scrivlet',
    KEPT: 'kept',
    APPLICATION: 'application',
});

// How long after the shortcut the first window of Scrivlet's process is
// taken to be the palette.
export const PALETTE_WINDOW_MS = 2000;

/**
 * Answers only the unique name that owns Scrivlet's bus name right now, and
 * signals only it once it has attached.
 */
export class CallerGate {
    constructor() {
        this._owner = '';
        this._attached = '';
    }

    get owner() {
        return this._owner;
    }

    /** The name changed hands (empty: nobody owns it). */
    setOwner(uniqueName) {
        this._owner = uniqueName || '';
        // A new owner has not attached yet, even when it is the same
        // program restarted.
        this._attached = '';
    }

    allows(sender) {
        return Boolean(sender) && sender === this._owner;
    }

    attach(sender) {
        if (!this.allows(sender))
            return false;
        this._attached = sender;
        return true;
    }

    /** Whom the signals go to, or '' for nobody. */
    get signalTarget() {
        return this._attached && this._attached === this._owner ? this._attached : '';
    }
}

/**
 * Where a new clipboard owner came from. `ours` is a source this extension
 * set; `duringNoOwner` is true while the Shell is still announcing that the
 * clipboard lost its owner, which is when mutter puts its stored copy back;
 * `isMemory` tells a source held in the Shell's memory.
 */
export function classifyOrigin({hasSource, ours, duringNoOwner, isMemory}) {
    if (!hasSource)
        return Origin.NONE;
    if (ours)
        return Origin.SCRIVLET;
    if (duringNoOwner && isMemory)
        return Origin.KEPT;
    return Origin.APPLICATION;
}

/** The clipboard as last announced, and the serial that names it. */
export class SelectionState {
    constructor() {
        this.serial = 0;
        this.types = [];
        this.app = '';
        this.origin = Origin.NONE;
    }

    announce(types, app, origin) {
        // 32 bits on the bus; 0 is never a live copy.
        this.serial = this.serial >= 0xffffffff ? 1 : this.serial + 1;
        this.types = [...new Set(types)];
        this.app = app;
        this.origin = origin;
        return this.serial;
    }

    /** null when `type` of copy `serial` can be read, else the error's name. */
    refusal(serial, type) {
        if (serial !== this.serial)
            return Errors.Stale;
        if (!this.types.includes(type))
            return Errors.NotOffered;
        return null;
    }
}

/**
 * An application id from what the Shell knows of a window: the desktop
 * entry's id, unless the tracker only made one up for it.
 */
export function applicationId({trackerId, gtkApplicationId, sandboxedAppId, wmClass}) {
    if (trackerId && !trackerId.startsWith('window:'))
        return trackerId.endsWith('.desktop') ? trackerId.slice(0, -'.desktop'.length) : trackerId;
    return gtkApplicationId || sandboxedAppId || wmClass || '';
}

/**
 * After the shortcut, the first window of Scrivlet's process created within
 * PALETTE_WINDOW_MS gets the focus; time is passed in.
 */
export class PendingFocus {
    constructor() {
        this._pid = 0;
        this._deadline = 0;
    }

    arm(pid, nowMs) {
        this._pid = pid > 0 ? pid : 0;
        this._deadline = nowMs + PALETTE_WINDOW_MS;
    }

    cancel() {
        this._pid = 0;
    }

    get armed() {
        return this._pid > 0;
    }

    /**
     * 'take' (and disarms), 'wait' when the window's pid is not known yet,
     * or 'ignore'.
     */
    offer(windowPid, nowMs) {
        if (!this.armed)
            return 'ignore';
        if (nowMs > this._deadline) {
            this.cancel();
            return 'ignore';
        }
        if (!(windowPid > 0))
            return 'wait';
        if (windowPid !== this._pid)
            return 'ignore';
        this.cancel();
        return 'take';
    }
}

/** The formats of our own copy, kept only while it owns the clipboard. */
export class FormatStore {
    constructor() {
        this._formats = new Map();
    }

    /** `formats` as the bus gives a(say): [[type, bytes], ...]. */
    replace(formats) {
        this._formats = new Map();
        for (const [type, bytes] of formats) {
            if (type && !this._formats.has(type))
                this._formats.set(type, bytes);
        }
    }

    clear() {
        this._formats = new Map();
    }

    get types() {
        return [...this._formats.keys()];
    }

    get(type) {
        return this._formats.get(type) ?? null;
    }
}
