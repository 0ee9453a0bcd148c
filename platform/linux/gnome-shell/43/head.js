// The session's windows for plenk-hands, which a plain client cannot list on GNOME: each
// window's id, pid, title, class, focus and rectangles, and activating one, over D-Bus on the
// shell's own name (org.gnome.Shell, /org/plenk/Hands/Windows). GNOME 43 and 44.
'use strict';

const { Gio, Meta } = imports.gi;
const Main = imports.ui.main;
