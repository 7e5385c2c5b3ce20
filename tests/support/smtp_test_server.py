#!/usr/bin/python3
"""SMTP server for the mail tests, built on aiosmtpd.

Listens on 127.0.0.1 (or --host) at a free port (or --port) and prints "READY <port>" once it accepts connections. Every
message it receives is printed as one JSON line: envelope sender, recipients, the message bytes
(base64, as they arrived after dot-unstuffing), the AUTH mechanism and login used, and whether the
connection was encrypted.

Modes: "smtp" (a working server), "silent" (accepts connections and never answers), "refuse"
(greets with a 554 reply) and "drop" (accepts the envelope, then drops the connection part-way
through the message).

--hold-reply S makes a working server wait S seconds before it answers a message (only those
containing --hold-text, when given); it prints {"holding": true} when the wait starts, and the
message's line (with "held") only when it answers with 250, not when the client went away.
"""

import argparse
import asyncio
import base64
import hmac
import json
import os
import ssl
import sys
import threading
import time

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, args):
        self.user = (args.user or "").encode()
        self.password = (args.password or "").encode()
        self.reject_prefix = args.reject_prefix
        self.defer_prefix = args.defer_prefix
        self.hold_reply = args.hold_reply
        self.hold_text = (args.hold_text or "").encode()

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        ok = (
            isinstance(auth_data, LoginPassword)
            and bool(self.user)
            and auth_data.login == self.user
            and auth_data.password == self.password
        )
        if ok:
            session.auth_mechanism = mechanism
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    async def auth_CRAM__MD5(self, server, args):
        challenge = f"<{os.getpid()}.{time.time_ns()}@tallyport.test>".encode()
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False)
        login, _, digest = response.partition(b" ")
        expected = hmac.new(self.password, challenge, "md5").hexdigest().encode()
        ok = bool(self.user) and login == self.user and hmac.compare_digest(digest, expected)
        if ok:
            server.session.auth_mechanism = "CRAM-MD5"
        return AuthResult(success=ok, handled=False, auth_data=LoginPassword(login, b""))

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.reject_prefix and address.startswith(self.reject_prefix):
            return f"550 5.1.1 <{address}>: Recipient address rejected: User unknown"
        if self.defer_prefix and address.startswith(self.defer_prefix):
            return f"450 4.2.1 <{address}>: Mailbox busy, try again later"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        login = getattr(session.auth_data, "login", None) if session.authenticated else None
        encrypted = session.ssl is not None or server.transport.get_extra_info("ssl_object") is not None
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "data": base64.b64encode(envelope.original_content).decode(),
            "auth_mechanism": getattr(session, "auth_mechanism", None) if session.authenticated else None,
            "login": login.decode(errors="replace") if isinstance(login, bytes) else None,
            "tls": encrypted,
        }
        if self.hold_reply > 0 and self.hold_text in envelope.original_content:
            print(json.dumps({"holding": True}), flush=True)
            await asyncio.sleep(self.hold_reply)
            record["held"] = True
        print(json.dumps(record), flush=True)
        return "250 2.0.0 Ok: queued as TEST"


async def silent(reader, writer):
    await reader.read()  # never answers; waits until the client goes away


async def refuse(reader, writer):
    writer.write(b"554 5.3.2 Test server is not accepting mail\r\n")
    await writer.drain()
    await reader.read()


async def drop(reader, writer):
    writer.write(b"220 tallyport.test ESMTP\r\n")
    await writer.drain()
    while True:
        line = await reader.readline()
        if not line:
            return
        verb = line[:4].upper()
        if verb in (b"EHLO", b"HELO"):
            writer.write(b"250 tallyport.test\r\n")
        elif verb == b"DATA":
            writer.write(b"354 End data with <CR><LF>.<CR><LF>\r\n")
            await writer.drain()
            await reader.read(16)  # the first bytes of the message, then the line goes dead
            writer.transport.abort()
            return
        elif verb == b"QUIT":
            writer.write(b"221 Bye\r\n")
            await writer.drain()
            writer.close()
            return
        else:
            writer.write(b"250 OK\r\n")
        await writer.drain()


def tls_context(args):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    return context


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=["smtp", "silent", "refuse", "drop"], default="smtp")
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--require-auth", action="store_true")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--starttls", action="store_true", help="offer STARTTLS with --cert/--key")
    parser.add_argument("--implicit-tls", action="store_true", help="TLS from the first byte")
    parser.add_argument("--reject-prefix", help="refuse recipients starting with this")
    parser.add_argument("--defer-prefix", help="refuse recipients starting with this for now (450)")
    parser.add_argument("--hold-reply", type=float, default=0, help="seconds before answering a message")
    parser.add_argument("--hold-text", help="hold only messages containing this")
    parser.add_argument("--host", default="127.0.0.1", help="loopback address to listen on")
    parser.add_argument("--port", type=int, default=0, help="port to listen on (0: any free one)")
    args = parser.parse_args()

    loop = asyncio.get_running_loop()
    if args.mode == "silent":
        server = await asyncio.start_server(silent, args.host, args.port)
    elif args.mode == "refuse":
        server = await asyncio.start_server(refuse, args.host, args.port)
    elif args.mode == "drop":
        server = await asyncio.start_server(drop, args.host, args.port)
    else:
        recorder = Recorder(args)
        starttls = tls_context(args) if args.starttls else None

        def factory():
            return SMTP(
                recorder,
                hostname="tallyport.test",
                tls_context=starttls,
                auth_required=args.require_auth,
                auth_require_tls=False,
                authenticator=recorder.authenticate,
            )

        implicit = tls_context(args) if args.implicit_tls else None
        server = await loop.create_server(factory, args.host, args.port, ssl=implicit)

    port = server.sockets[0].getsockname()[1]
    print(f"READY {port}", flush=True)
    async with server:
        await server.serve_forever()


def exit_with_parent():
    """The test that started this server holds its standard input open. When the test ends in any
    way (a crash or a kill by the test runner included) the pipe closes, and the server goes too
    instead of keeping its fixed address from the next test."""
    sys.stdin.buffer.read()
    os._exit(0)


if __name__ == "__main__":
    threading.Thread(target=exit_with_parent, daemon=True).start()
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
