"""Copies a KW archive with its last member's check value spoilt.

An archive's stream ends with the last member's 16-bit check value and at
most one byte of padding after it, so the byte before the last one holds
eight of those sixteen bits and nothing else: inverting it makes exactly that
member fail its check, leaving everything before it intact.
"""
import sys

source, destination = sys.argv[1], sys.argv[2]
data = bytearray(open(source, "rb").read())
data[-2] ^= 0xFF
open(destination, "wb").write(data)
