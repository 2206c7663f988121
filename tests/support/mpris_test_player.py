#!/usr/bin/python3
"""A scriptable MPRIS player for tests.

Run with Debian's /usr/bin/python3 (python3-dbus, python3-gi):

    mpris_test_player.py --name <suffix> [--desktop-entry <id>] [--identity <text>]

Owns org.mpris.MediaPlayer2.<suffix> on the bus named by DBUS_SESSION_BUS_ADDRESS and prints
{"ready":true} once the name is owned. Standard input takes one JSON object per line:

    {"set":{"PlaybackStatus":"Playing","Metadata":{...},"Rate":1.0}}
        sets the properties and emits one PropertiesChanged holding exactly those (per
        interface: root properties such as DesktopEntry go out on org.mpris.MediaPlayer2)
    {"position":12500000}   sets Position silently (MPRIS never signals it)
    {"seeked":12500000}     sets Position and emits Seeked
    {"quit":true}           leaves

Every method call received is printed as one JSON line, for example {"call":"Play"},
{"call":"SetPosition","args":["/t/1",12500000]} or {"call":"Seek","args":[-3000000]};
Properties.Set calls too ({"call":"Set","args":["Volume",0.5]}). The player is passive: a call
changes no state, so a test decides what the player reports. It ends at end of input.
"""

import argparse
import json
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

ROOT = "org.mpris.MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"
PROPERTIES = "org.freedesktop.DBus.Properties"
PATH = "/org/mpris/MediaPlayer2"

# D-Bus types of the properties, so JSON values go out with the types MPRIS prescribes.
PROPERTY_TYPES = {
    "CanQuit": "b", "CanRaise": "b", "HasTrackList": "b", "Fullscreen": "b",
    "CanSetFullscreen": "b", "Identity": "s", "DesktopEntry": "s",
    "SupportedUriSchemes": "as", "SupportedMimeTypes": "as",
    "PlaybackStatus": "s", "LoopStatus": "s", "Rate": "d", "Shuffle": "b", "Metadata": "a{sv}",
    "Volume": "d", "Position": "x", "MinimumRate": "d", "MaximumRate": "d",
    "CanGoNext": "b", "CanGoPrevious": "b", "CanPlay": "b", "CanPause": "b", "CanSeek": "b",
    "CanControl": "b",
}

METADATA_TYPES = {
    "mpris:trackid": "o", "mpris:length": "x", "mpris:artUrl": "s", "xesam:title": "s",
    "xesam:album": "s", "xesam:artist": "as", "xesam:albumArtist": "as", "xesam:genre": "as",
    "xesam:composer": "as", "xesam:comment": "as", "xesam:url": "s", "xesam:trackNumber": "i",
    "xesam:discNumber": "i", "xesam:userRating": "d", "xesam:asText": "s",
}


def typed(value, signature):
    """A JSON value as the D-Bus value of `signature`."""
    if signature == "b":
        return dbus.Boolean(bool(value))
    if signature == "s":
        return dbus.String(value)
    if signature == "o":
        return dbus.ObjectPath(value)
    if signature == "d":
        return dbus.Double(float(value))
    if signature == "x":
        return dbus.Int64(int(value))
    if signature == "i":
        return dbus.Int32(int(value))
    if signature == "as":
        return dbus.Array([dbus.String(v) for v in value], signature="s")
    if signature == "a{sv}":
        return metadata(value)
    return guessed(value)


def guessed(value):
    """A JSON value of an unknown key, typed by its JSON type (a test may send a wrong type on
    purpose, for example a number as the title)."""
    if isinstance(value, bool):
        return dbus.Boolean(value)
    if isinstance(value, int):
        return dbus.Int64(value)
    if isinstance(value, float):
        return dbus.Double(value)
    if isinstance(value, list):
        return dbus.Array([guessed(v) for v in value], signature="v" if value else "s")
    if isinstance(value, dict):
        return dbus.Dictionary({k: guessed(v) for k, v in value.items()}, signature="sv")
    return dbus.String(value)


def metadata(entries):
    result = {}
    for key, value in entries.items():
        signature = METADATA_TYPES.get(key)
        kind_fits = signature is None or (
            (signature == "as") == isinstance(value, list)
            and (signature not in ("x", "i", "d") or isinstance(value, (int, float)))
            and (signature not in ("s", "o") or isinstance(value, str)))
        result[key] = typed(value, signature) if signature and kind_fits else guessed(value)
    return dbus.Dictionary(result, signature="sv")


def plain(value):
    """A D-Bus value as JSON."""
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.Int16, dbus.Int32, dbus.Int64, dbus.UInt16, dbus.UInt32,
                          dbus.UInt64, dbus.Byte)):
        return int(value)
    if isinstance(value, dbus.Double):
        return float(value)
    if isinstance(value, (dbus.Array, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    return str(value)


def say(message):
    sys.stdout.write(json.dumps(message, separators=(",", ":")) + "\n")
    sys.stdout.flush()


class Player(dbus.service.Object):
    def __init__(self, bus, suffix, desktop_entry, identity):
        super().__init__(bus, PATH)
        self.values = {
            ROOT: {
                "CanQuit": dbus.Boolean(True), "CanRaise": dbus.Boolean(False),
                "HasTrackList": dbus.Boolean(False),
                "Identity": dbus.String(identity or ("Test Player " + suffix)),
                "SupportedUriSchemes": dbus.Array([], signature="s"),
                "SupportedMimeTypes": dbus.Array([], signature="s"),
            },
            PLAYER: {
                "PlaybackStatus": dbus.String("Stopped"), "LoopStatus": dbus.String("None"),
                "Rate": dbus.Double(1.0), "Shuffle": dbus.Boolean(False),
                "Metadata": dbus.Dictionary({}, signature="sv"), "Volume": dbus.Double(1.0),
                "Position": dbus.Int64(0), "MinimumRate": dbus.Double(1.0),
                "MaximumRate": dbus.Double(1.0), "CanGoNext": dbus.Boolean(True),
                "CanGoPrevious": dbus.Boolean(True), "CanPlay": dbus.Boolean(True),
                "CanPause": dbus.Boolean(True), "CanSeek": dbus.Boolean(True),
                "CanControl": dbus.Boolean(True),
            },
        }
        if desktop_entry:
            self.values[ROOT]["DesktopEntry"] = dbus.String(desktop_entry)

    def interface_of(self, name):
        if name in self.values[ROOT]:
            return ROOT
        return ROOT if name in ("DesktopEntry", "Fullscreen", "CanSetFullscreen") else PLAYER

    def apply(self, changes):
        per_interface = {}
        for name, value in changes.items():
            interface = self.interface_of(name)
            signature = PROPERTY_TYPES.get(name)
            if name == "Rate" and value is None:
                # A player without the optional Rate property.
                self.values[interface].pop(name, None)
                continue
            converted = typed(value, signature) if signature else guessed(value)
            self.values[interface][name] = converted
            per_interface.setdefault(interface, {})[name] = converted
        for interface, changed in per_interface.items():
            self.PropertiesChanged(interface, dbus.Dictionary(changed, signature="sv"), [])

    # org.freedesktop.DBus.Properties

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        try:
            return self.values[interface][name]
        except KeyError:
            raise dbus.exceptions.DBusException(
                "No such property " + name, name="org.freedesktop.DBus.Error.InvalidArgs")

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return dbus.Dictionary(self.values.get(interface, {}), signature="sv")

    @dbus.service.method(PROPERTIES, in_signature="ssv")
    def Set(self, interface, name, value):
        say({"call": "Set", "args": [str(name), plain(value)]})
        if interface in self.values and name in self.values[interface]:
            self.values[interface][name] = value
            self.PropertiesChanged(interface, dbus.Dictionary({name: value}, signature="sv"), [])

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    # org.mpris.MediaPlayer2

    @dbus.service.method(ROOT)
    def Raise(self):
        say({"call": "Raise"})

    @dbus.service.method(ROOT)
    def Quit(self):
        say({"call": "Quit"})

    # org.mpris.MediaPlayer2.Player

    @dbus.service.method(PLAYER)
    def Play(self):
        say({"call": "Play"})

    @dbus.service.method(PLAYER)
    def Pause(self):
        say({"call": "Pause"})

    @dbus.service.method(PLAYER)
    def PlayPause(self):
        say({"call": "PlayPause"})

    @dbus.service.method(PLAYER)
    def Stop(self):
        say({"call": "Stop"})

    @dbus.service.method(PLAYER)
    def Next(self):
        say({"call": "Next"})

    @dbus.service.method(PLAYER)
    def Previous(self):
        say({"call": "Previous"})

    @dbus.service.method(PLAYER, in_signature="x")
    def Seek(self, offset):
        say({"call": "Seek", "args": [int(offset)]})

    @dbus.service.method(PLAYER, in_signature="ox")
    def SetPosition(self, track, position):
        say({"call": "SetPosition", "args": [str(track), int(position)]})

    @dbus.service.method(PLAYER, in_signature="s")
    def OpenUri(self, uri):
        say({"call": "OpenUri", "args": [str(uri)]})

    @dbus.service.signal(PLAYER, signature="x")
    def Seeked(self, position):
        pass


def main():
    parser = argparse.ArgumentParser(description="A scriptable MPRIS player for tests.")
    parser.add_argument("--name", required=True, help="suffix of org.mpris.MediaPlayer2.<name>")
    parser.add_argument("--desktop-entry", help="the DesktopEntry property")
    parser.add_argument("--identity", help="the Identity property")
    arguments = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    player = Player(bus, arguments.name, arguments.desktop_entry, arguments.identity)
    name = dbus.service.BusName(ROOT + "." + arguments.name, bus, do_not_queue=True)
    loop = GLib.MainLoop()
    pending = bytearray()

    def handle(line):
        try:
            command = json.loads(line)
        except ValueError:
            say({"error": "not JSON: " + line})
            return
        if "set" in command:
            player.apply(command["set"])
        if "position" in command:
            player.values[PLAYER]["Position"] = dbus.Int64(int(command["position"]))
        if "seeked" in command:
            player.values[PLAYER]["Position"] = dbus.Int64(int(command["seeked"]))
            player.Seeked(dbus.Int64(int(command["seeked"])))
        if command.get("quit"):
            loop.quit()

    def readable(fd, condition):
        data = os.read(fd, 65536) if condition & GLib.IO_IN else b""
        if not data:
            loop.quit()
            return False
        pending.extend(data)
        while b"\n" in pending:
            index = pending.index(b"\n")
            line = pending[:index].decode("utf-8", "replace").strip()
            del pending[:index + 1]
            if line:
                handle(line)
        return True

    GLib.io_add_watch(sys.stdin.fileno(), GLib.PRIORITY_DEFAULT,
                      GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR, readable)
    say({"ready": True})
    loop.run()
    del name


if __name__ == "__main__":
    main()
