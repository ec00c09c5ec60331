"""A TCP relay for the tests: listens on LISTEN_PORT (127.0.0.1) and joins
every connection to 127.0.0.1:TARGET_PORT. Killing it cuts the connections
through it with whatever it has not passed on yet, as a network failure
would, while both ends stay up.

Usage: tcp_relay.py LISTEN_PORT TARGET_PORT
"""
import asyncio
import sys


async def pipe(reader, writer):
    try:
        while data := await reader.read(65536):
            writer.write(data)
            await writer.drain()
    finally:
        writer.close()


async def main(listen_port, target_port):
    async def join(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer), pipe(server_reader, client_writer),
                             return_exceptions=True)

    server = await asyncio.start_server(join, "127.0.0.1", listen_port)
    print("relay ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main(int(sys.argv[1]), int(sys.argv[2])))
