#!/usr/bin/python3
"""A real SMTP server on 127.0.0.1 for the tests: STARTTLS with the given certificate, login with
the given user and password, and every message it takes saved with its envelope.

    smtp_server.py --dir DIR --ready FILE [--cert CERT --key KEY] [--user U --password P]
                   [--mode normal|tempfail|permfail|drop|silent] [--port PORT]

It listens on a free port and writes that port to the ready file once it accepts connections.
Modes: normal takes every message; tempfail and permfail refuse the message (451, 554); drop
closes the connection in the middle of the message; silent accepts connections and never answers.
Each message N is saved as N.eml (its bytes) and N.json (mail from, recipients, login).
"""
import argparse
import asyncio
import json
import os
import signal
import socket
import ssl
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Handler:
    def __init__(self, folder, mode):
        self.folder, self.mode, self.count = folder, mode, 0

    async def handle_DATA(self, server, session, envelope):
        if self.mode == "tempfail":
            return "451 4.3.0 Try again later"
        if self.mode == "permfail":
            return "554 5.7.1 Message refused"
        if self.mode == "drop":
            session.transport.close()
            return "421 closing"
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".json", "w") as f:
            login = session.auth_data.decode() if isinstance(session.auth_data, bytes) else session.auth_data
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos, "login": login}, f)
        return "250 OK"


class Authenticator:
    def __init__(self, user, password):
        self.user, self.password = user, password

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == self.user
              and auth_data.password.decode() == self.password)
        return AuthResult(success=ok, handled=False, auth_data=self.user if ok else None)


def silent(ready):
    # Accepts and never greets: the client must give up on its own.
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(16)
    with open(ready + ".tmp", "w") as f:
        f.write(str(server.getsockname()[1]))
    os.rename(ready + ".tmp", ready)
    held = []
    while True:
        conn, _ = server.accept()
        held.append(conn)


def main():
    warnings.simplefilter("ignore")  # login without TLS is allowed on purpose: the client decides
    p = argparse.ArgumentParser()
    p.add_argument("--dir", required=True)
    p.add_argument("--ready", required=True)
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--user")
    p.add_argument("--password")
    p.add_argument("--mode", default="normal")
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0, help="0: a free one, chosen by the system")
    a = p.parse_args()
    os.makedirs(a.dir, exist_ok=True)
    if a.mode == "silent":
        return silent(a.ready)
    tls = None
    if a.cert:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(a.cert, a.key)
    kwargs = dict(hostname=a.host, tls_context=tls, require_starttls=False)
    if a.user:
        kwargs.update(authenticator=Authenticator(a.user, a.password), auth_required=True, auth_require_tls=False)
    handler = Handler(a.dir, a.mode)
    loop = asyncio.new_event_loop()
    # Port 0: the system gives a free port, and nobody else can take it meanwhile.
    server = loop.run_until_complete(loop.create_server(lambda: SMTP(handler, **kwargs), host=a.host, port=a.port))
    port = server.sockets[0].getsockname()[1]
    with open(a.ready + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(a.ready + ".tmp", a.ready)
    for s in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(s, loop.stop)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
