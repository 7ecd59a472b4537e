#!/usr/bin/env python3
"""A register protocol client written from the protocol alone, not from the
emulator's code: ENQ/ACK, request frames with the password, packet id, command
and fields, answers read to ETX and their check characters verified.

    frame_client.py HOST PORT   runs: status "00", start of work "10", serial
                                number "02" 1, shift counter "01" 1; prints one
                                JSON line per exchange; exit 1 on any fault.
"""

import json
import socket
import sys
import time

STX, ETX, ENQ, ACK, FS = 0x02, 0x03, 0x05, 0x06, 0x1C


def check(data: bytes) -> bytes:
    value = 0
    for b in data:
        value ^= b
    return b"%02X" % value


def request(password: bytes, packet_id: int, command: str, fields) -> bytes:
    body = password + bytes([packet_id]) + command.encode("ascii")
    body += bytes([FS]).join(f.encode("cp866") for f in fields) + bytes([ETX])
    return bytes([STX]) + body + check(body)


class Client:
    def __init__(self, host: str, port: int, password: bytes = b"KVMT"):
        self.sock = socket.create_connection((host, port), timeout=10)
        self.password = password
        self.packet_id = 0x20

    def read_exact(self, n: int) -> bytes:
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise RuntimeError("connection closed")
            data += chunk
        return data

    def exchange(self, command: str, fields=()):
        self.sock.sendall(bytes([ENQ]))
        if self.read_exact(1) != bytes([ACK]):
            raise RuntimeError("no ACK to ENQ")
        self.packet_id = 0x20 if self.packet_id >= 0xF0 else self.packet_id + 1
        self.sock.sendall(request(self.password, self.packet_id, command, list(fields)))
        if self.read_exact(1) != bytes([STX]):
            raise RuntimeError("the answer does not start with STX")
        body = b""
        while not body.endswith(bytes([ETX])):
            body += self.read_exact(1)
        got = self.read_exact(2)
        if got != check(body):
            raise RuntimeError("check characters %r, computed %r" % (got, check(body)))
        if body[0] != self.packet_id:
            raise RuntimeError("packet id %d, sent %d" % (body[0], self.packet_id))
        if body[1:3].decode("ascii") != command:
            raise RuntimeError("command echo %r" % body[1:3])
        error = body[3:5].decode("ascii")
        data = body[5:-1]
        return error, [f.decode("cp866") for f in data.split(bytes([FS]))] if data else []


def main(argv) -> int:
    client = Client(argv[1], int(argv[2]))
    now = time.localtime()
    steps = [("00", []), ("10", [time.strftime("%d%m%y", now), time.strftime("%H%M%S", now)]),
             ("02", ["1"]), ("01", ["1"])]
    ok = True
    for command, fields in steps:
        error, data = client.exchange(command, fields)
        print(json.dumps({"command": command, "error": error, "fields": data}, ensure_ascii=False))
        ok = ok and error == "00"
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
