#!/usr/bin/python3
"""A stand-in for udisks2 on a test's private bus.

It owns org.freedesktop.UDisks2, answers GetManagedObjects with the drives and block devices
the test has added, and opens a block's backing file read-only for OpenDevice("r") and
OpenForBackup, handing the descriptor over as udisks2 does. The test drives it with one
command a line on standard input and waits for "ok" on standard output:

    add NAME KIND DEVICE [MOUNT]   a drive whose whole medium is the file or device DEVICE;
                                   KIND: card, usb, fixed, optical, reader (no medium)
    part NAME NUMBER DEVICE [MOUNT]   partition NUMBER of drive NAME, backed by DEVICE
    remove NAME                    the drive and its block devices go
    refuse yes|no                  opening is refused as polkit refuses it
    legacy yes|no                  no OpenDevice, only OpenForBackup (udisks2 before 2.7.3)
    opens                          answers "ok N": the descriptors handed over so far
"""

import os
import stat
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

UDISKS = "org.freedesktop.UDisks2"
MANAGER = "/org/freedesktop/UDisks2"

state = {"refuse": False, "legacy": False}
handed_over = 0


def path_bytes(text):
    return dbus.Array([dbus.Byte(b) for b in os.fsencode(text) + b"\0"], signature="y")


def path_list(texts):
    return dbus.Array([path_bytes(t) for t in texts], signature="ay")


def device_number(device, fallback):
    try:
        info = os.stat(device)
        if stat.S_ISBLK(info.st_mode):
            return info.st_rdev
    except OSError:
        pass
    return fallback


class Drive(dbus.service.Object):
    def __init__(self, bus, path, kind):
        super().__init__(bus, path)
        self.interfaces = {UDISKS + ".Drive": {
            "Removable": dbus.Boolean(kind in ("card", "optical", "reader")),
            "MediaRemovable": dbus.Boolean(kind in ("card", "optical", "reader")),
            "MediaAvailable": dbus.Boolean(kind != "reader"),
            "ConnectionBus": dbus.String("usb" if kind in ("card", "usb", "reader") else ""),
            "MediaCompatibility": dbus.Array(["optical_cd"] if kind == "optical" else ["flash_sd"], signature="s"),
        }}


class Block(dbus.service.Object):
    def __init__(self, bus, path, drive, device, number, size, mount):
        super().__init__(bus, path)
        self.device = device
        self.interfaces = {UDISKS + ".Block": {
            "Device": path_bytes(device),
            "PreferredDevice": path_bytes(device),
            "Symlinks": path_list([]),
            "DeviceNumber": dbus.UInt64(device_number(device, number)),
            "Size": dbus.UInt64(size),
            "Drive": dbus.ObjectPath(drive),
            "CryptoBackingDevice": dbus.ObjectPath("/"),
            "ReadOnly": dbus.Boolean(False),
            "IdUsage": dbus.String("filesystem"),
        }}
        if mount is not None:
            self.interfaces[UDISKS + ".Filesystem"] = {"MountPoints": path_list([mount] if mount else [])}

    def _open(self):
        if state["refuse"]:
            raise dbus.exceptions.DBusException("Not authorized to perform operation",
                                                name=UDISKS + ".Error.NotAuthorized")
        global handed_over
        handed_over += 1
        fd = os.open(self.device, os.O_RDONLY | os.O_CLOEXEC)
        try:
            return dbus.types.UnixFd(fd)  # holds a copy of its own
        finally:
            os.close(fd)

    @dbus.service.method(UDISKS + ".Block", in_signature="a{sv}", out_signature="h")
    def OpenForBackup(self, options):
        return self._open()

    @dbus.service.method(UDISKS + ".Block", in_signature="sa{sv}", out_signature="h")
    def OpenDevice(self, mode, options):
        if state["legacy"]:
            raise dbus.exceptions.DBusException("No such method OpenDevice",
                                                name="org.freedesktop.DBus.Error.UnknownMethod")
        if mode != "r":
            raise dbus.exceptions.DBusException("only r is served here", name=UDISKS + ".Error.Failed")
        return self._open()


class Manager(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, MANAGER)
        self.objects = {}  # path -> object
        self.drives = {}   # name -> [paths]

    @dbus.service.method("org.freedesktop.DBus.ObjectManager", out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        return {dbus.ObjectPath(p): o.interfaces for p, o in self.objects.items()}

    def add(self, bus, name, kind, device, mount=None):
        drive = f"{MANAGER}/drives/Mock_{name}"
        block = f"{MANAGER}/block_devices/{name}"
        size = 0 if kind == "reader" else os.stat(device).st_size or device_size(device)
        self.objects[drive] = Drive(bus, drive, kind)
        self.objects[block] = Block(bus, block, drive, device, 0x0800 + 16 * len(self.drives), size, mount)
        self.drives[name] = [drive, block]

    def part(self, bus, name, number, device, mount=None):
        drive, whole = self.drives[name][:2]
        self.objects[whole].interfaces[UDISKS + ".PartitionTable"] = {"Type": dbus.String("dos")}
        path = f"{whole}{number}"
        block = Block(bus, path, drive, device, 0x0800 + 16 * len(self.drives) + number, device_size(device), mount)
        block.interfaces[UDISKS + ".Partition"] = {
            "Number": dbus.UInt32(number), "Table": dbus.ObjectPath(whole), "IsContainer": dbus.Boolean(False)}
        self.objects[path] = block
        self.drives[name].append(path)

    def remove(self, name):
        for path in self.drives.pop(name):
            self.objects.pop(path).remove_from_connection()


def device_size(device):
    with open(device, "rb") as f:
        return f.seek(0, os.SEEK_END)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    manager = Manager(bus)
    name = dbus.service.BusName(UDISKS, bus)
    loop = GLib.MainLoop()

    pending = b""

    def command(source, condition):
        nonlocal pending
        chunk = os.read(sys.stdin.fileno(), 4096)
        if not chunk:
            loop.quit()
            return False
        pending += chunk
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            run(line.decode().split())
        return True

    def run(words):
        try:
            if words[0] == "add":
                manager.add(bus, words[1], words[2], words[3], words[4] if len(words) > 4 else None)
            elif words[0] == "part":
                manager.part(bus, words[1], int(words[2]), words[3], words[4] if len(words) > 4 else None)
            elif words[0] == "remove":
                manager.remove(words[1])
            elif words[0] in state:
                state[words[0]] = words[1] == "yes"
            elif words[0] == "opens":
                print(f"ok {handed_over}", flush=True)
                return
            else:
                raise ValueError("unknown command " + words[0])
            print("ok", flush=True)
        except Exception as error:  # the test reads why
            print("error " + str(error), flush=True)

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
    print("ready", flush=True)
    loop.run()
    del name


if __name__ == "__main__":
    main()
