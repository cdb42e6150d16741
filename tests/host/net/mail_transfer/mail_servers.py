#!/usr/bin/python3
"""The mail servers of the mail transfer tests, all on 127.0.0.1 with ports of their own choice.

smtp    aiosmtpd with AUTH PLAIN, LOGIN and CRAM-MD5 (user "tim", password "secret") and STARTTLS
smtps   the same under implicit TLS
pop3    a POP3 server with USER/PASS, APOP, STAT, LIST, UIDL, TOP, RETR, DELE, RSET, QUIT and STLS;
        every user name has a mailbox of its own (password "secret"), so tests do not meet; the
        user "liar" has one message whose listed size is far below what RETR sends
pop3s   the same under implicit TLS
silent  accepts connections and never answers

Each SMTP message is written to <dir>/<first recipient>.eml (the bytes as received, dot-stuffing
undone) with its envelope in <dir>/<first recipient>.env. The ports go to <dir>/ports.txt when all
servers listen. The process ends by itself after a quarter of an hour.
"""
import hashlib
import hmac
import os
import socket
import socketserver
import ssl
import sys
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, AuthResult

USER = b"tim"
PASSWORD = b"secret"
HOST = "127.0.0.1"

directory = sys.argv[1]
tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
tls.load_cert_chain(os.path.join(directory, "cert.pem"), os.path.join(directory, "key.pem"))


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def file_name(address):
    return "".join(c if c.isalnum() or c in "@.-_" else "_" for c in address)


class Handler:
    def __init__(self, implicit):
        self.implicit = implicit

    async def auth_CRAM__MD5(self, server, args):
        challenge = ("<%d.%d@%s>" % (os.getpid(), time.time_ns(), HOST)).encode()
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False, handled=False)
        user, _, digest = response.partition(b" ")
        expected = hmac.new(PASSWORD, challenge, hashlib.md5).hexdigest().encode()
        ok = user == USER and hmac.compare_digest(digest, expected)
        if ok:
            server.session.mechanism = "CRAM-MD5"
        return AuthResult(success=ok, handled=False)

    async def handle_DATA(self, server, session, envelope):
        name = file_name(envelope.rcpt_tos[0])
        with open(os.path.join(directory, name + ".eml"), "wb") as f:
            f.write(envelope.original_content)
        with open(os.path.join(directory, name + ".env"), "w") as f:
            f.write("from: %s\n" % envelope.mail_from)
            f.write("to: %s\n" % " ".join(envelope.rcpt_tos))
            f.write("auth: %s\n" % getattr(session, "mechanism", "none"))
            f.write("tls: %s\n" % ("yes" if self.implicit or session.ssl else "no"))
            f.write("helo: %s\n" % session.host_name)
        return "250 2.0.0 Message accepted"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = auth_data.login == USER and auth_data.password == PASSWORD
    if ok:
        session.mechanism = mechanism
    return AuthResult(success=ok)


def smtp_server(port, implicit):
    kwargs = dict(hostname=HOST, port=port, authenticator=authenticator, auth_require_tls=False,
                  server_hostname="mail.test")
    if implicit:
        kwargs["ssl_context"] = tls
    else:
        kwargs["tls_context"] = tls
    controller = Controller(Handler(implicit), **kwargs)
    controller.start()
    return controller


# ---- POP3 ----

def first_messages():
    return [
        b"From: a@x.org\r\nTo: tim@x.org\r\nSubject: first\r\n\r\nHello.\r\n.leading dot\r\nBye.\r\n",
        b"From: b@x.org\r\nTo: tim@x.org\r\nSubject: second\r\nX-Line: 1\r\n\r\nline 1\r\nline 2\r\nline 3\r\n",
        b"From: c@x.org\r\nTo: tim@x.org\r\nSubject: third\r\n\r\nThird body.\r\n",
    ]


mailboxes = {}
mailbox_lock = threading.Lock()


def mailbox(user):
    with mailbox_lock:
        if user not in mailboxes:
            if user == b"liar":
                mailboxes[user] = [b"Subject: big\r\n\r\n" + (b"x" * 70 + b"\r\n") * 5000]
            else:
                mailboxes[user] = first_messages()
        return mailboxes[user]


class Pop3Handler(socketserver.StreamRequestHandler):
    implicit = False
    timeout = 30

    def setup(self):
        if self.implicit:
            self.request = tls.wrap_socket(self.request, server_side=True)
        super().setup()

    def send(self, text):
        self.wfile.write(text if isinstance(text, bytes) else text.encode())
        self.wfile.flush()

    def multi(self, body):
        lines = body.split(b"\r\n")
        if lines and lines[-1] == b"":
            lines.pop()
        out = b"".join((b"." + l if l.startswith(b".") else l) + b"\r\n" for l in lines)
        self.send(out + b".\r\n")

    def handle(self):
        stamp = "<%d.%d@%s>" % (os.getpid(), time.time_ns(), HOST)
        self.send("+OK POP3 ready %s\r\n" % stamp)
        user = None
        box = None
        deleted = set()
        while True:
            line = self.rfile.readline(2000)
            if not line:
                return  # dropped without QUIT: nothing marked is applied
            parts = line.strip().split(b" ")
            command = parts[0].upper()
            args = parts[1:]
            if command == b"STLS" and not self.implicit and box is None:
                self.send("+OK begin TLS\r\n")
                self.request = tls.wrap_socket(self.request, server_side=True)
                self.rfile = self.request.makefile("rb")
                self.wfile = self.request.makefile("wb")
                continue
            if command == b"CAPA":
                self.send("+OK\r\nUSER\r\nTOP\r\nUIDL\r\n%s.\r\n" % ("" if self.implicit else "STLS\r\n"))
                continue
            if command == b"QUIT":
                if box is not None:
                    with mailbox_lock:
                        box[:] = [m for i, m in enumerate(box) if i not in deleted]
                self.send("+OK bye\r\n")
                return
            if box is None:
                if command == b"USER" and args:
                    user = args[0]
                    self.send("+OK\r\n")
                elif command == b"PASS" and user is not None and b" ".join(args) == PASSWORD:
                    box = mailbox(user)
                    self.send("+OK logged in\r\n")
                elif command == b"APOP" and len(args) == 2:
                    digest = hashlib.md5(stamp.encode() + PASSWORD).hexdigest().encode()
                    if args[1] == digest:
                        box = mailbox(args[0])
                        self.send("+OK logged in\r\n")
                    else:
                        self.send("-ERR bad digest\r\n")
                else:
                    self.send("-ERR not logged in\r\n")
                continue

            def number(i):
                try:
                    n = int(args[i])
                except (IndexError, ValueError):
                    return None
                return n if 1 <= n <= len(box) and n - 1 not in deleted else None

            def size(n):
                return 10 if user == b"liar" else len(box[n - 1])

            live = [n for n in range(1, len(box) + 1) if n - 1 not in deleted]
            if command == b"STAT":
                self.send("+OK %d %d\r\n" % (len(live), sum(size(n) for n in live)))
            elif command in (b"LIST", b"UIDL"):
                value = (lambda n: str(size(n))) if command == b"LIST" else \
                    (lambda n: hashlib.md5(box[n - 1]).hexdigest())
                if args:
                    n = number(0)
                    self.send("+OK %d %s\r\n" % (n, value(n)) if n else "-ERR no such message\r\n")
                else:
                    self.send("+OK\r\n" + "".join("%d %s\r\n" % (n, value(n)) for n in live) + ".\r\n")
            elif command == b"RETR":
                n = number(0)
                if n:
                    self.send("+OK %d octets\r\n" % size(n))
                    self.multi(box[n - 1])
                else:
                    self.send("-ERR no such message\r\n")
            elif command == b"TOP":
                n = number(0)
                try:
                    count = int(args[1])
                except (IndexError, ValueError):
                    n = None
                if n:
                    head, _, body = box[n - 1].partition(b"\r\n\r\n")
                    kept = body.split(b"\r\n")[:count]
                    self.send("+OK\r\n")
                    self.multi(head + b"\r\n\r\n" + b"".join(l + b"\r\n" for l in kept))
                else:
                    self.send("-ERR no such message\r\n")
            elif command == b"DELE":
                n = number(0)
                if n:
                    deleted.add(n - 1)
                    self.send("+OK marked\r\n")
                else:
                    self.send("-ERR no such message\r\n")
            elif command == b"RSET":
                deleted.clear()
                self.send("+OK\r\n")
            elif command == b"NOOP":
                self.send("+OK\r\n")
            else:
                self.send("-ERR unknown command\r\n")


class ImplicitPop3Handler(Pop3Handler):
    implicit = True


class SilentHandler(socketserver.BaseRequestHandler):
    def handle(self):
        self.request.settimeout(60)
        try:
            while self.request.recv(4096):
                pass
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(handler):
    server = Server((HOST, 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    ports = {}
    ports["smtp"] = free_port()
    smtp = smtp_server(ports["smtp"], False)
    ports["smtps"] = free_port()
    smtps = smtp_server(ports["smtps"], True)
    ports["pop3"] = serve(Pop3Handler)
    ports["pop3s"] = serve(ImplicitPop3Handler)
    ports["silent"] = serve(SilentHandler)
    with open(os.path.join(directory, "ports.tmp"), "w") as f:
        for name, port in ports.items():
            f.write("%s %d\n" % (name, port))
    os.rename(os.path.join(directory, "ports.tmp"), os.path.join(directory, "ports.txt"))
    try:
        time.sleep(900)
    finally:
        smtp.stop()
        smtps.stop()


if __name__ == "__main__":
    main()
