"""Runs the shipped 32-bit plug-in under a CPU emulator, beside a simulated host
and stand-ins for the platform, and checks its contract with the host."""
