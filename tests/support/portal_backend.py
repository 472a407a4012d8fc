#!/usr/bin/python3
"""A stand-in back end of the desktop portal's ScreenCast for the tests: it owns
org.freedesktop.impl.portal.desktop.zvtest on the session bus, grants every session (unless the
file named by ZVTEST_REFUSE exists) with the monitors of ZVTEST_NODES ("node@x,y;...": the
PipeWire node's name and the monitor's place), and asks the front end to keep the permission
(persist_mode 2). The file named by ZVTEST_CLOSE ends the sessions. Each call is written to the
file named by ZVTEST_LOG, one line each: the method, then its options as JSON."""
import json
import os
import subprocess
import time

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SCREENCAST = 'org.freedesktop.impl.portal.ScreenCast'
SESSION = 'org.freedesktop.impl.portal.Session'
log = open(os.environ['ZVTEST_LOG'], 'a', buffering=1)


def note(method, options):
    log.write('%s %s\n' % (method, json.dumps({str(k): str(v) for k, v in options.items()})))


def node_id(name, seconds=20):
    """The id of the PipeWire node of that name, once it is there."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        for o in json.loads(subprocess.check_output(['pw-dump'])):
            props = o.get('info', {}).get('props', {}) if o.get('info') else {}
            if o.get('type') == 'PipeWire:Interface:Node' and props.get('node.name') == name:
                return o['id']
        time.sleep(0.1)
    return None


class Session(dbus.service.Object):
    open_sessions = []

    def __init__(self, bus, path):
        super().__init__(bus, path)
        Session.open_sessions.append(self)

    @dbus.service.method(SESSION, in_signature='', out_signature='')
    def Close(self):
        log.write('Close\n')
        Session.open_sessions.remove(self)
        self.remove_from_connection()

    @dbus.service.signal(SESSION, signature='')
    def Closed(self):
        pass


def close_when_asked():
    """The file named by ZVTEST_CLOSE ends every session, as the desktop's "stop sharing"."""
    flag = os.environ.get('ZVTEST_CLOSE', '/nonexistent')
    if os.path.exists(flag):
        os.unlink(flag)
        for session in list(Session.open_sessions):
            log.write('Closed\n')
            session.Closed()
            Session.open_sessions.remove(session)
            session.remove_from_connection()
    return True


class ScreenCast(dbus.service.Object):
    def __init__(self, bus, path):
        super().__init__(bus, path)
        self.bus = bus

    @dbus.service.method(SCREENCAST, in_signature='oosa{sv}', out_signature='ua{sv}')
    def CreateSession(self, handle, session, app_id, options):
        note('CreateSession', options)
        Session(self.bus, session)
        return (0, {'session_id': 'zvtest'})

    @dbus.service.method(SCREENCAST, in_signature='oosa{sv}', out_signature='ua{sv}')
    def SelectSources(self, handle, session, app_id, options):
        note('SelectSources', options)
        return (0, {})

    @dbus.service.method(SCREENCAST, in_signature='oossa{sv}', out_signature='ua{sv}')
    def Start(self, handle, session, app_id, parent_window, options):
        if os.path.exists(os.environ.get('ZVTEST_REFUSE', '/nonexistent')):
            log.write('Start refused\n')
            return (1, {})
        streams = []
        for monitor in os.environ['ZVTEST_NODES'].split(';'):
            name, place = monitor.split('@')
            x, y = (int(v) for v in place.split(','))
            node = node_id(name)
            log.write('Start %s %s\n' % (name, node))
            if node is None:
                return (2, {})
            props = dbus.Dictionary({'source_type': dbus.UInt32(1),
                                     'position': dbus.Struct((dbus.Int32(x), dbus.Int32(y)),
                                                             signature='ii')}, signature='sv')
            streams.append(dbus.Struct((dbus.UInt32(node), props), signature='ua{sv}'))
        restore = dbus.Struct(('zvtest', dbus.UInt32(1), dbus.String('monitor', variant_level=1)),
                              signature='suv')
        return (0, {'streams': dbus.Array(streams, signature='(ua{sv})'),
                    'persist_mode': dbus.UInt32(2), 'restore_data': restore})

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return {'AvailableSourceTypes': dbus.UInt32(1), 'AvailableCursorModes': dbus.UInt32(7),
                'version': dbus.UInt32(4)}


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
ScreenCast(bus, '/org/freedesktop/portal/desktop')
name = dbus.service.BusName('org.freedesktop.impl.portal.desktop.zvtest', bus)
GLib.timeout_add(100, close_when_asked)
log.write('ready\n')
GLib.MainLoop().run()
