// Realistic discovery answers that several benchmarks measure, so that
// their figures are for the same messages.
#pragma once

#include <string>

namespace norvane::test {

// Hikvision camera answering a SADP inquiry on UDP 37020.
inline const std::string kSadpReply =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    "<ProbeMatch><Uuid>5B2B8C4D-1A2B-4C3D-9E8F-0123456789AB</Uuid><Types>inquiry</Types>"
    "<DeviceType>139267</DeviceType><DeviceDescription>DS-2CD2143G0-I</DeviceDescription>"
    "<DeviceSN>DS-2CD2143G0-I20190101AAWRC12345678</DeviceSN><CommandPort>8000</CommandPort>"
    "<HttpPort>80</HttpPort><MAC>44-19-b6-12-34-56</MAC><IPv4Address>192.168.1.64</IPv4Address>"
    "<IPv4SubnetMask>255.255.255.0</IPv4SubnetMask><IPv4Gateway>192.168.1.1</IPv4Gateway>"
    "<IPv6Address>::</IPv6Address><IPv6Gateway>::</IPv6Gateway><IPv6MaskLen>64</IPv6MaskLen>"
    "<DHCP>false</DHCP><AnalogChannelNum>0</AnalogChannelNum>"
    "<DigitalChannelNum>1</DigitalChannelNum><SoftwareVersion>V5.5.82build 190909"
    "</SoftwareVersion><DSPVersion>V7.3 build 190905</DSPVersion>"
    "<BootTime>2020-01-01 00:00:00</BootTime><Encrypt>true</Encrypt>"
    "<ResetAbility>false</ResetAbility><DiskNumber>0</DiskNumber>"
    "<Activated>true</Activated><PasswordResetAbility>true</PasswordResetAbility>"
    "</ProbeMatch>";

// ONVIF camera answering a WS-Discovery Probe: scopes with name and
// hardware, two types, two XAddrs.
inline const std::string kProbeMatch =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope" xmlns:soapenc="http://www.w3.org/2003/05/soap-encoding" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:tt="http://www.onvif.org/ver10/schema" xmlns:tds="http://www.onvif.org/ver10/device/wsdl" xmlns:dn="http://www.onvif.org/ver10/network/wsdl" xmlns:wsadis="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery">)"
    R"(<env:Header><wsadis:MessageID>urn:uuid:3a7f1c2e-1dd2-11b2-a105-c056e3a1b2c3</wsadis:MessageID><wsadis:RelatesTo>uuid:7d1a5e2b-4b3c-4a8e-9f5d-2c1b0a9e8d7f</wsadis:RelatesTo><wsadis:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsadis:To><wsadis:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsadis:Action><d:AppSequence InstanceId="1702301822" MessageNumber="4"/></env:Header>)"
    R"(<env:Body><d:ProbeMatches><d:ProbeMatch><wsadis:EndpointReference><wsadis:Address>urn:uuid:3a7f1c2e-1dd2-11b2-a105-c056e3a1b2c3</wsadis:Address></wsadis:EndpointReference><d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>)"
    R"(<d:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/Profile/Streaming onvif://www.onvif.org/MediaSourceConfigurationToken/VideoSourceToken onvif://www.onvif.org/Profile/G onvif://www.onvif.org/Profile/T onvif://www.onvif.org/hardware/DS-2CD2143G0-I onvif://www.onvif.org/name/Front%20Door onvif://www.onvif.org/location/city/hangzhou</d:Scopes>)"
    R"(<d:XAddrs>http://192.168.1.64/onvif/device_service http://[fe80::c256:e3ff:fea1:b2c3]/onvif/device_service</d:XAddrs><d:MetadataVersion>10</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches></env:Body></env:Envelope>)";

// Body of a Dahua camera's DHIP device announcement.
inline const std::string kDhipBody =
    R"({"mac":"3c:ef:8c:11:22:33","method":"client.notifyDevInfo","params":{"deviceInfo":{)"
    R"("AlarmInputChannels":2,"AlarmOutputChannels":1,"DeviceClass":"IPC",)"
    R"("DeviceType":"IPC-HFW2431S-S-S2","HttpPort":80,"IPv4Address":{)"
    R"("DefaultGateway":"192.168.1.1","DhcpEnable":false,"IPAddress":"192.168.1.108",)"
    R"("SubnetMask":"255.255.255.0"},"IPv6Address":{"DefaultGateway":"",)"
    R"("IPAddress":"fe80::3eef:8cff:fe11:2233/64","LinkLocalAddress":""},)"
    R"("MachineName":"Brama","Manufacturer":"Private","Port":37777,)"
    R"("SerialNo":"5J0ABCDEFG12345","Vendor":"Private","Version":"2.800.0000000.25.R",)"
    R"("VideoInputChannels":1,"VideoOutputChannels":0}}})";

// Search response of a home router's UPnP IGD daemon.
inline const std::string kRouterResponse =
    "HTTP/1.1 200 OK\r\n"
    "CACHE-CONTROL: max-age=120\r\n"
    "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "USN: uuid:2b1e7f10-3c4d-4e5f-8a9b-0c1d2e3f4a5b::urn:schemas-upnp-org:device:"
    "InternetGatewayDevice:1\r\n"
    "EXT:\r\n"
    "SERVER: OpenWRT/22.03 UPnP/1.1 MiniUPnPd/2.3.0\r\n"
    "LOCATION: http://192.168.1.1:5000/rootDesc.xml\r\n"
    "OPT: \"http://schemas.upnp.org/upnp/1/0/\"; ns=01\r\n"
    "01-NLS: 1\r\n"
    "BOOTID.UPNP.ORG: 1\r\n"
    "CONFIGID.UPNP.ORG: 1337\r\n"
    "\r\n";

}  // namespace norvane::test
