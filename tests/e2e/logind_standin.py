"""A python-dbusmock template standing in for logind's restart methods."""

import dbus

BUS_NAME = "org.freedesktop.login1"
MAIN_OBJ = "/org/freedesktop/login1"
MAIN_IFACE = "org.freedesktop.login1.Manager"
SYSTEM_BUS = True


def load(mock, parameters):
    mock.AddMethods(
        MAIN_IFACE,
        [
            ("SetWallMessage", "sb", "", ""),
            ("ScheduleShutdown", "st", "", ""),
        ],
    )
