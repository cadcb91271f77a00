#pragma once

// The IP version of an address, a URL host or a socket.
enum TIdIPVersion { Id_IPv4, Id_IPv6 };
