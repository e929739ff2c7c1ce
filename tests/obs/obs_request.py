"""Sends requests to OBS Studio's obs-websocket (protocol 5, no authentication) and prints each
response's JSON on a line of its own.

    obs_request.py [--flat FOLDER] PORT [REQUEST ...]

Each REQUEST is a JSON object {"requestType": ..., "requestData": {...}}, or a bare request type.
With no REQUEST it only connects and identifies (whether OBS answers). The exit code is 0 when
every request succeeded, 1 when one failed (its response still printed; the rest not sent), 2 when
OBS could not be reached or spoke out of turn.

--flat is for programs without a JSON parser (the C++ tests): each response is a line
"RESULT<TAB>CODE<TAB>TYPE<TAB>COMMENT" (RESULT 1 or 0), then a line "<TAB>KEY<TAB>VALUE" for each
field of its data, strings as they are and the rest as JSON, line ends made spaces. A base64 data
URL (a screenshot) is written decoded into FOLDER and its value is that file's path."""

import asyncio
import base64
import json
import os
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


def one_line(text):
    return text.replace("\r", " ").replace("\n", " ")


def flat(response, folder, number):
    """The lines of `response` in the --flat form."""
    status = response.get("requestStatus", {})
    lines = ["\t".join([str(int(bool(status.get("result")))), str(status.get("code", 0)),
                         response.get("requestType", ""), one_line(status.get("comment", ""))])]
    for key, value in (response.get("responseData") or {}).items():
        if isinstance(value, str) and value.startswith("data:") and ";base64," in value:
            kind, data = value[len("data:"):].split(";base64,", 1)
            path = os.path.join(folder, f"response-{os.getpid()}-{number}-{key}."
                                + kind.split("/")[-1])
            with open(path, "wb") as out:
                out.write(base64.b64decode(data))
            value = path
        text = value if isinstance(value, str) else json.dumps(value)
        lines.append(f"\t{key}\t{one_line(text)}")
    return "\n".join(lines)


async def exchange(port, requests, answer):
    """Sends `requests` in order on one connection and gives each response to answer(number,
    response); 0 when every one succeeded, 1 at the first that failed (the rest not sent)."""
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
            answer(number, response)
            if not response.get("requestStatus", {}).get("result"):
                return 1
    return 0


async def run(port, requests, folder):
    def answer(number, response):
        print(flat(response, folder, number) if folder else json.dumps(response), flush=True)
    return await exchange(port, requests, answer)


def parse(argument):
    if argument.lstrip().startswith("{"):
        return json.loads(argument)
    return {"requestType": argument}


def main():
    arguments = sys.argv[1:]
    folder = None
    if arguments[:1] == ["--flat"] and len(arguments) >= 2:
        folder, arguments = arguments[1], arguments[2:]
    if not arguments:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        requests = [parse(argument) for argument in arguments[1:]]
        return asyncio.run(run(int(arguments[0]), requests, folder))
    except (OSError, asyncio.TimeoutError, websockets.exceptions.WebSocketException,
            json.JSONDecodeError, ValueError) as error:
        print(f"obs_request: {error.__class__.__name__}: {error}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
