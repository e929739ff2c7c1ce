"""Sends requests to OBS Studio's obs-websocket (protocol 5, no authentication) and prints each
response's JSON on a line of its own.

    obs_request.py PORT [REQUEST ...]

Each REQUEST is a JSON object {"requestType": ..., "requestData": {...}}, or a bare request type.
With no REQUEST it only connects and identifies (whether OBS answers). The exit code is 0 when
every request succeeded, 1 when one failed (its response still printed; the rest not sent), 2 when
OBS could not be reached or spoke out of turn."""

import asyncio
import json
import sys

import websockets

HELLO, IDENTIFY, IDENTIFIED, REQUEST, REQUEST_RESPONSE = 0, 1, 2, 6, 7
SECONDS = 10  # the most one message may take to come


async def receive(socket, op):
    """The data of the next message of opcode `op`, skipping events."""
    while True:
        message = json.loads(await asyncio.wait_for(socket.recv(), SECONDS))
        if message.get("op") == op:
            return message.get("d", {})


async def run(port, requests):
    async with websockets.connect(f"ws://127.0.0.1:{port}", subprotocols=["obswebsocket.json"],
                                  max_size=None, open_timeout=SECONDS) as socket:
        hello = await receive(socket, HELLO)
        if "authentication" in hello:
            print("obs_request: OBS asks for a password", file=sys.stderr)
            return 2
        # No event subscriptions: only the responses come back.
        await socket.send(json.dumps({"op": IDENTIFY,
                                      "d": {"rpcVersion": 1, "eventSubscriptions": 0}}))
        await receive(socket, IDENTIFIED)
        for number, request in enumerate(requests):
            identifier = str(number)
            await socket.send(json.dumps({"op": REQUEST, "d": {**request,
                                                               "requestId": identifier}}))
            while True:
                response = await receive(socket, REQUEST_RESPONSE)
                if response.get("requestId") == identifier:
                    break
            print(json.dumps(response), flush=True)
            if not response.get("requestStatus", {}).get("result"):
                return 1
    return 0


def parse(argument):
    if argument.lstrip().startswith("{"):
        return json.loads(argument)
    return {"requestType": argument}


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        requests = [parse(argument) for argument in sys.argv[2:]]
        return asyncio.run(run(int(sys.argv[1]), requests))
    except (OSError, asyncio.TimeoutError, websockets.exceptions.WebSocketException,
            json.JSONDecodeError, ValueError) as error:
        print(f"obs_request: {error.__class__.__name__}: {error}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
