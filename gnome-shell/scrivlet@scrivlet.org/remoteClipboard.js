// SPDX-License-Identifier: GPL-3.0-or-later
// Offers a copy in all its formats through mutter's remote desktop
// clipboard: an extension cannot make a selection source of its own that
// holds more than one type.
//
// The session is never started, so no remote access is registered and the
// Shell shows no sharing indicator. It lives on a connection of its own:
// mutter ends a session when its creator leaves the bus, and an unstarted
// one cannot be stopped, so closing that connection is how it ends. Every
// call is asynchronous: the Shell itself answers them.

import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import GLibUnix from 'gi://GLibUnix';
import GioUnix from 'gi://GioUnix';

const SERVICE = 'org.gnome.Mutter.RemoteDesktop';
const SERVICE_PATH = '/org/gnome/Mutter/RemoteDesktop';
const SESSION_INTERFACE = 'org.gnome.Mutter.RemoteDesktop.Session';

function call(connection, path, iface, method, args, cancellable, withFds = false) {
    return new Promise((resolve, reject) => {
        const done = (conn, result) => {
            try {
                resolve(withFds
                    ? conn.call_with_unix_fd_list_finish(result)
                    : conn.call_finish(result));
            } catch (error) {
                reject(error);
            }
        };
        if (withFds) {
            connection.call_with_unix_fd_list(SERVICE, path, iface, method, args, null,
                Gio.DBusCallFlags.NONE, -1, null, cancellable, done);
        } else {
            connection.call(SERVICE, path, iface, method, args, null,
                Gio.DBusCallFlags.NONE, -1, cancellable, done);
        }
    });
}

function openConnection(cancellable) {
    return new Promise((resolve, reject) => {
        const address = Gio.dbus_address_get_for_bus_sync(Gio.BusType.SESSION, cancellable);
        Gio.DBusConnection.new_for_address(address,
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
            null, cancellable, (_source, result) => {
                try {
                    resolve(Gio.DBusConnection.new_for_address_finish(result));
                } catch (error) {
                    reject(error);
                }
            });
    });
}

/** Writes `bytes` into `fd` and closes it, without blocking the Shell. */
export function writeAll(fd, bytes, cancellable) {
    GLibUnix.set_fd_nonblocking(fd, true);
    const output = GioUnix.OutputStream.new(fd, true);
    const input = Gio.MemoryInputStream.new_from_bytes(new GLib.Bytes(bytes));
    return new Promise((resolve, reject) => {
        output.splice_async(input,
            Gio.OutputStreamSpliceFlags.CLOSE_SOURCE | Gio.OutputStreamSpliceFlags.CLOSE_TARGET,
            GLib.PRIORITY_DEFAULT, cancellable, (stream, result) => {
                try {
                    stream.splice_finish(result);
                    resolve();
                } catch (error) {
                    // CLOSE_TARGET does not close on failure.
                    stream.close(null);
                    reject(error);
                }
            });
    });
}

export class RemoteClipboard {
    /** `formats` is the FormatStore whose bytes are served. */
    constructor(formats) {
        this._formats = formats;
        this._cancellable = new Gio.Cancellable();
        this._connection = null;
        this._session = null;
        this._subscriptions = [];
    }

    /** Makes mutter announce `types` as the clipboard's, served from the store. */
    async setSelection(types) {
        const session = await this._ensureSession();
        await call(this._connection, session, SESSION_INTERFACE, 'SetSelection',
            new GLib.Variant('(a{sv})', [{'mime-types': new GLib.Variant('as', types)}]),
            this._cancellable);
    }

    close() {
        this._cancellable.cancel();
        const connection = this._connection;
        this._forgetSession();
        this._connection = null;
        // Leaving the bus is what ends an unstarted session.
        connection?.close(null, null);
    }

    _ensureSession() {
        this._opening ??= this._open().catch(error => {
            this._opening = null;
            throw error;
        });
        return this._opening;
    }

    async _open() {
        this._connection ??= await openConnection(this._cancellable);
        const connection = this._connection;
        const [path] = (await call(connection, SERVICE_PATH, SERVICE, 'CreateSession', null,
            this._cancellable)).deepUnpack();
        this._subscriptions = [
            connection.signal_subscribe(SERVICE, SESSION_INTERFACE, 'SelectionTransfer', path,
                null, Gio.DBusSignalFlags.NONE, (_c, _sender, _path, _iface, _signal, params) => {
                    const [type, serial] = params.deepUnpack();
                    this._serve(path, type, serial);
                }),
            connection.signal_subscribe(SERVICE, SESSION_INTERFACE, 'Closed', path, null,
                Gio.DBusSignalFlags.NONE, () => {
                    // Mutter ended it (the Shell stops sessions for a screen
                    // lock, for example): the next copy opens another.
                    this._forgetSession();
                }),
        ];
        await call(connection, path, SESSION_INTERFACE, 'EnableClipboard',
            new GLib.Variant('(a{sv})', [{}]), this._cancellable);
        this._session = path;
        return path;
    }

    _forgetSession() {
        for (const id of this._subscriptions)
            this._connection?.signal_unsubscribe(id);
        this._subscriptions = [];
        this._session = null;
        this._opening = null;
    }

    async _serve(path, type, serial) {
        const connection = this._connection;
        let written = false;
        try {
            const [reply, fds] = await call(connection, path, SESSION_INTERFACE,
                'SelectionWrite', new GLib.Variant('(u)', [serial]), this._cancellable, true);
            const fd = fds.get(reply.deepUnpack()[0]);
            const bytes = this._formats.get(type);
            // A type we no longer hold is answered with no bytes, not left
            // waiting.
            await writeAll(fd, bytes ?? new Uint8Array(0), this._cancellable);
            written = bytes !== null;
        } catch (error) {
            // The reader gave up or went away: its own failure, nothing to
            // report per paste.
        }
        if (this._cancellable.is_cancelled())
            return;
        call(connection, path, SESSION_INTERFACE, 'SelectionWriteDone',
            new GLib.Variant('(ub)', [serial, written]), this._cancellable).catch(() => {});
    }
}
