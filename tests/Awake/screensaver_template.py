'''The session's org.freedesktop.ScreenSaver as desktops offer it, for tests: inhibitions by
cookie, activity declarations counted, both readable through the test interface.'''

import dbus

BUS_NAME = 'org.freedesktop.ScreenSaver'
MAIN_OBJ = '/org/freedesktop/ScreenSaver'
MAIN_IFACE = 'org.freedesktop.ScreenSaver'
SYSTEM_BUS = False

TEST_IFACE = 'org.orlet.Test'


def load(mock, _parameters):
    mock.inhibitions = {}
    mock.next_cookie = 7
    mock.activity = 0
    mock.granted = 0
    mock.AddMethods(MAIN_IFACE, [
        ('Inhibit', 'ss', 'u',
         'ret = self.next_cookie; self.next_cookie += 1; self.granted += 1; '
         'self.inhibitions[ret] = args[0] + ": " + args[1]'),
        ('UnInhibit', 'u', '', 'self.inhibitions.pop(int(args[0]), None)'),
        ('SimulateUserActivity', '', '', 'self.activity += 1'),
        ('GetActive', '', 'b', 'ret = False'),
    ])
    mock.AddMethods(TEST_IFACE, [
        ('Inhibitions', '', 'as', 'ret = dbus.Array(self.inhibitions.values(), signature="s")'),
        ('ActivityCount', '', 'u', 'ret = self.activity'),
        ('InhibitCount', '', 'u', 'ret = self.granted'),
    ])
