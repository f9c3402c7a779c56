#!/usr/bin/env python3
"""A stand-in for the desktop portal's Settings interface on the session bus: it answers the
appearance colour-scheme with the value given (1 dark, 2 light) and nothing else.

usage: fake_portal.py VALUE   (runs until killed; prints "ready" once the name is taken)
SIGUSR1 switches dark and light and announces it with SettingChanged, as a portal does when the
user changes the scheme.
"""
import signal
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
SETTINGS = "org.freedesktop.portal.Settings"


class Settings(dbus.service.Object):
    def __init__(self, bus, value):
        super().__init__(bus, PATH)
        self.value = dbus.UInt32(value)

    def _lookup(self, namespace, key):
        if namespace == "org.freedesktop.appearance" and key == "color-scheme":
            return self.value
        raise dbus.exceptions.DBusException(
            "Requested setting not found", name="org.freedesktop.portal.Error.NotFound")

    # The old call wraps the value twice, as portals before version 2 do.
    @dbus.service.method(SETTINGS, in_signature="ss", out_signature="v")
    def Read(self, namespace, key):
        return dbus.UInt32(self._lookup(namespace, key), variant_level=2)

    @dbus.service.signal(SETTINGS, signature="ssv")
    def SettingChanged(self, namespace, key, value):
        pass

    def switch(self):
        self.value = dbus.UInt32(2 if self.value == 1 else 1)
        self.SettingChanged("org.freedesktop.appearance", "color-scheme", self.value)
        return GLib.SOURCE_CONTINUE

    @dbus.service.method(SETTINGS, in_signature="ss", out_signature="v")
    def ReadOne(self, namespace, key):
        return self._lookup(namespace, key)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    keep = dbus.service.BusName(NAME, bus)
    settings = Settings(bus, int(sys.argv[1]))
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, settings.switch)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del keep, settings


if __name__ == "__main__":
    main()
