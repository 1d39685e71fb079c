"""Real OSC and sACN receivers on 127.0.0.1, on free ports, for the live
output tests. Each runs in a thread, bounded in time, and keeps what it
received in arrival order."""

from __future__ import annotations

import socket
import threading
import time

from pythonosc.dispatcher import Dispatcher
from pythonosc.osc_server import BlockingOSCUDPServer
from sacn.receiving.receiver_handler import ReceiverHandler, ReceiverHandlerListener
from sacn.receiving.receiver_socket_base import ReceiverSocketBase

LOOPBACK = "127.0.0.1"


def wait_until(done, seconds):
    """Polls `done()` until it is true or `seconds` have passed; what has
    arrived by then is for the caller to judge."""
    deadline = time.monotonic() + seconds
    while not done() and time.monotonic() < deadline:
        time.sleep(0.01)


class OscListener:
    """python-osc's UDP server; `messages` holds (address, args)."""

    def __init__(self):
        self.messages = []
        dispatcher = Dispatcher()
        dispatcher.set_default_handler(lambda address, *args: self.messages.append((address, args)))
        self.server = BlockingOSCUDPServer((LOOPBACK, 0), dispatcher)
        self.server.timeout = 0.05
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, args=(0.02,), daemon=True)

    def wait_for(self, count, seconds=10.0):
        wait_until(lambda: len(self.messages) >= count, seconds)
        return self.messages

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()


class LoopbackSocket(ReceiverSocketBase):
    """sacn's receiving socket interface on a UDP socket bound to 127.0.0.1
    (the library's own binds every interface on a fixed port)."""

    def __init__(self):
        super().__init__(listener=None)
        self.udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.udp.bind((LOOPBACK, 0))
        self.udp.settimeout(0.02)
        self.port = self.udp.getsockname()[1]
        self.running = threading.Event()
        self.thread = threading.Thread(target=self.receive, daemon=True)

    def attach(self, handler):
        self._listener = handler

    def receive(self):
        while self.running.is_set():
            try:
                data = self.udp.recv(2048)
            except socket.timeout:
                continue
            self._listener.on_data(list(data), time.time())

    def start(self):
        self.running.set()
        self.thread.start()

    def stop(self):
        self.running.clear()
        self.thread.join(5)
        self.udp.close()

    def join_multicast(self, multicast_addr):
        raise AssertionError("the tests never use multicast")

    leave_multicast = join_multicast


class SacnListener(ReceiverHandlerListener):
    """sacn's receiver logic (packet parsing, sequence and priority checks,
    reporting changed data) on the loopback socket; `packets` holds
    (universe, 512 DMX values), `events` (universe, 'available'/'timeout')."""

    def __init__(self):
        self.packets = []
        self.events = []
        self.socket = LoopbackSocket()
        self.port = self.socket.port
        self.socket.attach(ReceiverHandler(LOOPBACK, self.port, self, socket=self.socket))

    def on_availability_change(self, universe, changed):
        self.events.append((universe, changed))

    def on_dmx_data_change(self, packet):
        self.packets.append((packet.universe, packet.dmxData))

    def wait_for(self, count, seconds=10.0, events=0):
        wait_until(lambda: len(self.packets) >= count and len(self.events) >= events, seconds)
        return self.packets

    def __enter__(self):
        self.socket.start()
        return self

    def __exit__(self, *exc):
        self.socket.stop()


class Datagrams:
    """A plain UDP socket on 127.0.0.1 that keeps every datagram it gets,
    with its sender's address, in arrival order: the receiving end for
    tests that read packet layouts byte by byte."""

    def __init__(self, family=socket.AF_INET, host=LOOPBACK):
        self.udp = socket.socket(family, socket.SOCK_DGRAM)
        self.udp.bind((host, 0))
        self.udp.settimeout(0.02)
        self.port = self.udp.getsockname()[1]
        self.received = []
        self.running = threading.Event()
        self.thread = threading.Thread(target=self.receive, daemon=True)

    def receive(self):
        while self.running.is_set():
            try:
                self.received.append(self.udp.recvfrom(2048))
            except socket.timeout:
                continue

    def wait_for(self, count, seconds=10.0, matching=lambda data: True):
        wait_until(lambda: sum(1 for data, _ in list(self.received) if matching(data)) >= count,
                   seconds)
        return [data for data, _ in list(self.received)]

    def __enter__(self):
        self.running.set()
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.running.clear()
        self.thread.join(5)
        self.udp.close()
