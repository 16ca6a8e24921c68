"""A first look at wirewright: model values between their JSON text and the
bytes of the JSON codec."""

import wirewright

# A model value in its tagged JSON form: every kind but Null is a one-entry
# map from the kind's name to its payload.
model = """
{"Map": {
    "title": {"Str": "Groceries"},
    "items": {"List": [{"Str": "milk"}, {"Str": "eggs"}]},
    "done":  {"Bool": false},
    "owner": {"Submodel": 42}
}}
"""

data = wirewright.encode(model)  # compact, with map keys in byte order
print("encoded:", data)

text = wirewright.decode(data)
print("decoded:", text)
assert wirewright.encode(text) == data  # the compact form is stable

try:
    wirewright.decode(b'{"Int": 1')
except ValueError as err:
    print("error:  ", err)
