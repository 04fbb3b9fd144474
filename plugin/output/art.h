// Coloured text art sent to a channel.
#pragma once

struct HostSession;

int quibo_ver(HostSession* sess);
int quibo_banner(HostSession* sess, const char* text);
int quibo_bigrose(HostSession* sess, const char* text);
int quibo_birth(HostSession* sess, const char* text);
int quibo_cat(HostSession* sess, const char* text);
int quibo_hello(HostSession* sess, const char* text);
int quibo_image(HostSession* sess, const char* name);
int quibo_msg1(HostSession* sess, const char* text);
int quibo_msg2(HostSession* sess, const char* text);
int quibo_msg3(HostSession* sess, const char* text);
int quibo_msg4(HostSession* sess, const char* text, char style);
int quibo_christmas(HostSession* sess, const char* text);
int quibo_rand(HostSession* sess, const char* text);
int quibo_rose(HostSession* sess, const char* text);
int quibo_vbanner(HostSession* sess, const char* text);
int quibo_mare(HostSession* sess, const char* word);
// The clone report of the session's channel.
int quibo_clone(HostSession* sess);
