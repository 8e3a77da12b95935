"""The fault server of tests/servers, with its parameters also in the path.

An update information file cannot hold "=" in a file's address (the first "="
starts the destination), so the update tests address the faults as
/ROUTE/NAME-VALUE/.../FILENAME: /cut/size-300000/send-1000/cut.bin is
/cut?size=300000&send=1000. A last segment without "-" is the file name the
update component gives its download. Arguments as for faultserver.py.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "servers"))
import faultserver  # noqa: E402


class PathHandler(faultserver.Handler):
    def handle_any(self, body):
        path, _, query = self.path.partition("?")
        segments = [s for s in path.split("/") if s]
        if len(segments) > 1:
            pairs = [s.partition("-") for s in segments[1:]]
            params = ["%s=%s" % (name, value) for name, dash, value in pairs if dash]
            if query:
                params.append(query)
            self.path = "/" + segments[0] + ("?" + "&".join(params) if params else "")
        super().handle_any(body)


if __name__ == "__main__":
    faultserver.Handler = PathHandler
    faultserver.main()
