# A real SMTP server for the mail tests: accepts everything and writes each
# message as received (after the server's own un-stuffing) into the folder.
# Usage: smtp_sink.py PORT FOLDER [USER PASSWORD]. Prints "ready" once it
# listens and stops when its standard input closes.
import os
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "mail%d" % self.count)
        with open(base + ".rcpt", "w") as f:
            f.write(envelope.mail_from + "\n" + "\n".join(envelope.rcpt_tos) + "\n")
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".tmp", base + ".eml")
        return "250 OK"


def main():
    port, folder = int(sys.argv[1]), sys.argv[2]
    kwargs = {}
    if len(sys.argv) > 4:
        user, password = sys.argv[3].encode(), sys.argv[4].encode()

        def check(server, session, envelope, mechanism, data):
            ok = isinstance(data, LoginPassword) and data.login == user and data.password == password
            return AuthResult(success=ok)

        kwargs = dict(authenticator=check, auth_require_tls=False, auth_required=True)
    controller = Controller(Sink(folder), hostname="127.0.0.1", port=port, **kwargs)
    controller.start()
    print("ready", flush=True)
    sys.stdin.read()
    controller.stop()


main()
