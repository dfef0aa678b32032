// SPDX-License-Identifier: GPL-3.0-or-later
// Scrivlet's bridge into GNOME Shell: what only the Shell may do on GNOME,
// offered to Scrivlet alone over D-Bus.

import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

import {ShellBridge} from './shellBridge.js';

export default class ScrivletExtension extends Extension {
    enable() {
        this._bridge = new ShellBridge(this.uuid);
    }

    disable() {
        this._bridge?.destroy();
        this._bridge = null;
    }
}
