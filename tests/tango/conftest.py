import sys
import os

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from tango_support import RecordingProxy, ScpiClient, SimRack  # noqa: E402


@pytest.fixture
def sim_rack():
    """Makes pinwright-sim racks for one test and stops them after it."""
    racks = []

    def make(count=1, hislip=False, raw_port=0, hislip_port=0):
        racks.append(SimRack(count, hislip, raw_port, hislip_port))
        return racks[-1]

    yield make
    for rack in racks:
        rack.stop()


@pytest.fixture
def scpi():
    clients = []

    def connect(port):
        clients.append(ScpiClient(port))
        return clients[-1]

    yield connect
    for client in clients:
        client.close()


@pytest.fixture
def recording_proxy():
    proxies = []

    def make(port):
        proxies.append(RecordingProxy(port))
        return proxies[-1]

    yield make
    for proxy in proxies:
        proxy.close()


@pytest.fixture
def tango_server(tmp_path):
    from tango_support import TangoServer
    servers = []

    def start(devices, **options):
        servers.append(TangoServer(tmp_path, devices, **options))
        return servers[-1]

    yield start
    for server in servers:
        server.stop()
