// The session's windows for plenk-hands, which a plain client cannot list on GNOME: each
// window's id, pid, title, class, focus and rectangles, and activating one, over D-Bus on the
// shell's own name (org.gnome.Shell, /org/plenk/Hands/Windows). GNOME 45 and later: an ES module.
import Gio from 'gi://Gio';
import Meta from 'gi://Meta';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';
