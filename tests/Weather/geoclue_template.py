'''GeoClue 2 on the system bus as Qt Positioning talks to it, for tests: one client that
reports a fixed position when started, or refuses the program when the parameter "deny" is set
(as the desktop's agent does when the user says no).'''

import dbus

BUS_NAME = 'org.freedesktop.GeoClue2'
MAIN_OBJ = '/org/freedesktop/GeoClue2/Manager'
MAIN_IFACE = 'org.freedesktop.GeoClue2.Manager'
SYSTEM_BUS = True

CLIENT_OBJ = '/org/freedesktop/GeoClue2/Client/1'
CLIENT_IFACE = 'org.freedesktop.GeoClue2.Client'
LOCATION_OBJ = '/org/freedesktop/GeoClue2/Client/1/Location/1'
LOCATION_IFACE = 'org.freedesktop.GeoClue2.Location'
TEST_IFACE = 'org.orlet.Test'


def load(mock, parameters):
    mock.starts = 0
    deny = parameters.get('deny', False)
    refusal = ('raise dbus.exceptions.DBusException("the user refused", '
               'name="org.freedesktop.DBus.Error.AccessDenied")')
    client = 'ret = dbus.ObjectPath("%s")' % CLIENT_OBJ
    mock.AddMethods(MAIN_IFACE, [
        ('GetClient', '', 'o', refusal if deny else client),
        ('CreateClient', '', 'o', refusal if deny else client),
        ('DeleteClient', 'o', '', ''),
        ('AddAgent', 's', '', ''),
    ])
    mock.AddProperties(MAIN_IFACE, {'InUse': False, 'AvailableAccuracyLevel': dbus.UInt32(8)})
    mock.AddMethods(TEST_IFACE, [('Starts', '', 'u', 'ret = objects["%s"].starts' % CLIENT_OBJ)])

    mock.AddObject(LOCATION_OBJ, LOCATION_IFACE, {
        'Latitude': dbus.Double(float(parameters.get('latitude', 59.9139))),
        'Longitude': dbus.Double(float(parameters.get('longitude', 10.7522))),
        'Accuracy': dbus.Double(5000.0),
        'Altitude': dbus.Double(-1.7976931348623157e308),
        'Speed': dbus.Double(-1.0),
        'Heading': dbus.Double(-1.0),
        'Description': 'test',
        'Timestamp': dbus.Struct((dbus.UInt64(1772445600), dbus.UInt64(0)), signature='tt'),
    }, [])
    mock.AddObject(CLIENT_OBJ, CLIENT_IFACE, {
        'Location': dbus.ObjectPath('/'),
        'DistanceThreshold': dbus.UInt32(0),
        'TimeThreshold': dbus.UInt32(0),
        'DesktopId': '',
        'RequestedAccuracyLevel': dbus.UInt32(0),
        'Active': False,
    }, [
        ('Start', '', '',
         'self.starts = getattr(self, "starts", 0) + 1; '
         'self.Set("%s", "Active", True); '
         'self.Set("%s", "Location", dbus.ObjectPath("%s")); '
         'self.EmitSignal("%s", "LocationUpdated", "oo", '
         '[dbus.ObjectPath("/"), dbus.ObjectPath("%s")])'
         % (CLIENT_IFACE, CLIENT_IFACE, LOCATION_OBJ, CLIENT_IFACE, LOCATION_OBJ)),
        ('Stop', '', '', 'self.Set("%s", "Active", False)' % CLIENT_IFACE),
    ])
