"""The server registered in a real Tango database, as a facility runs it: devices added with tango_admin,
properties set through the database (a HiSLIP resource with a port among them), the server started by its
instance name under TANGO_HOST and its devices reached by name through the database."""

import subprocess

import tango

from tango_database import TangoDatabase
from tango_support import Program, free_port, wait_for, STARTUP_BOUND, TANGO


def test_registered_devices_are_reached_through_tango_host(tmp_path, sim_rack):
    rack = sim_rack(count=1, hislip=True)
    database = TangoDatabase(tmp_path)
    server = None
    try:
        env = database.env()
        for device in ("test/facility/board", "test/facility/rack"):
            subprocess.run(["tango_admin", "--add-server", "pinwright-tango/facility", "PinwrightPort", device],
                           env=env, check=True, capture_output=True, timeout=60)
        subprocess.run(["tango_admin", "--add-property", "test/facility/board", "Resource", "SIM0::INSTR"],
                       env=env, check=True, capture_output=True, timeout=60)
        # A resource with a comma is a list of two values in the database; the server joins them again.
        database.database().put_device_property("test/facility/rack",
                                                {"Resource": rack.hislip_resource(0).split(","),
                                                 "InputPollPeriod": ["100"]})

        server = Program([TANGO, "facility", "-ORBendPoint", "giop:tcp:127.0.0.1:%d" % free_port()], env=env)
        server.wait_for_line(r"ready to accept requests")

        def answers(name):
            try:
                tango.DeviceProxy("tango://%s/%s" % (database.tango_host, name)).ping()
                return True
            except tango.DevFailed:
                assert server.process.poll() is None, server.output.text()
                return False

        for name in ("test/facility/board", "test/facility/rack"):
            wait_for(lambda: answers(name), STARTUP_BOUND, name + " to answer")
            device = tango.DeviceProxy("tango://%s/%s" % (database.tango_host, name))
            assert device.state() == tango.DevState.ON, device.status()
            assert device.read_attribute("Identity").value.startswith("Korvane,MF-7,")
            device.write_attribute("Pin4Function", 4)
            assert device.read_attribute("Pin4Function").value == 4
        rack_device = tango.DeviceProxy("tango://%s/test/facility/rack" % database.tango_host)
        assert rack.hislip_resource(0) in rack_device.status()
    finally:
        if server is not None:
            server.stop()
        database.stop()
