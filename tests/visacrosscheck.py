"""Reads one value from a VISA resource with pyvisa, a client written elsewhere.

usage: visacrosscheck.py BACKEND RESOURCE QUERY
BACKEND is the path of a VISA library, or "@py" for the pure-Python backend.
Prints the reply as a number; exit status 3 when pyvisa (or its backend) is absent.
"""
import sys

try:
    import pyvisa
    if sys.argv[1] == "@py":
        import pyvisa_py  # noqa: F401
except ImportError as error:
    print("pyvisa not available: %s" % error)
    sys.exit(3)

backend, resource, query = sys.argv[1:4]
manager = pyvisa.ResourceManager(backend)
instrument = manager.open_resource(resource, read_termination="\n", write_termination="\r\n",
                                   timeout=5000)
if resource.upper().startswith("ASRL"):
    instrument.write("SYST:REM")
print(float(instrument.query(query)))
instrument.close()
manager.close()
