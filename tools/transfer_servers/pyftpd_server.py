"""An anonymous, read-only FTP server on loopback for the transfer tests:
pyftpd_server.py ROOT PORT [active|passive [ADDRESS]] (ADDRESS 127.0.0.1 by
default, ::1 for IPv6). It answers USER with 331 and PASS with
230. With "passive" its active mode is turned off: PORT and EPRT are refused
with 502, as by a server that cannot reach its clients."""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class PassiveOnlyHandler(FTPHandler):
    """Refuses active mode; passive mode works as usual."""

    permit_foreign_addresses = False

    def ftp_PORT(self, line):
        self.respond("502 Active mode is turned off; use PASV.")

    def ftp_EPRT(self, line):
        self.respond("502 Active mode is turned off; use EPSV.")


def main():
    root, port = sys.argv[1], int(sys.argv[2])
    passive = len(sys.argv) > 3 and sys.argv[3] == "passive"
    address = sys.argv[4] if len(sys.argv) > 4 else "127.0.0.1"
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    handler = PassiveOnlyHandler if passive else FTPHandler
    handler.authorizer = authorizer
    server = FTPServer((address, port), handler)
    server.max_cons = 32
    server.serve_forever()


if __name__ == "__main__":
    main()
